#include "PdfMetadata.h"

namespace {

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// An rdf:Alt or rdf:Seq of one item, as Dublin Core wants its title,
// description (alternatives by language) and creators (an ordered list).
QString listOfOne(const char* element, const char* kind, const QString& value)
{
    const QString language =
        QLatin1String(kind) == QLatin1String("Alt") ? QStringLiteral(" xml:lang=\"x-default\"") : QString();
    return QStringLiteral("      <dc:%1><rdf:%2><rdf:li%3>%4</rdf:li></rdf:%2></dc:%1>\n")
        .arg(QLatin1String(element), QLatin1String(kind), language, escaped(value));
}

} // namespace

QByteArray xmpPacket(const PdfMetadata& metadata, const QString& producer)
{
    // The same time as the information dictionary's, which the writer gives in UTC to the second.
    const QString when = metadata.created.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss'Z'"));
    QString dc = listOfOne("title", "Alt", metadata.title);
    if (!metadata.author.isEmpty())
        dc += listOfOne("creator", "Seq", metadata.author);
    if (!metadata.subject.isEmpty())
        dc += listOfOne("description", "Alt", metadata.subject);
    const QString packet =
        QStringLiteral("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
                       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                       "  <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                       "    <rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\" rdf:about=\"\">\n"
                       "%1"
                       "    </rdf:Description>\n"
                       "    <rdf:Description xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" rdf:about=\"\" "
                       "xmp:CreatorTool=\"%2\" xmp:CreateDate=\"%3\" xmp:ModifyDate=\"%3\"/>\n"
                       "    <rdf:Description xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\" rdf:about=\"\" "
                       "pdf:Producer=\"%4\"/>\n"
                       "    <rdf:Description xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" rdf:about=\"\" "
                       "pdfaid:part=\"1\" pdfaid:conformance=\"B\"/>\n"
                       "  </rdf:RDF>\n"
                       "</x:xmpmeta>\n"
                       "<?xpacket end='w'?>")
            .arg(dc, escaped(metadata.creator), when, escaped(producer));
    return packet.toUtf8();
}

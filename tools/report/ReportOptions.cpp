#include "ReportOptions.h"

#include "recording/RecordingOptions.h"

#include "util/CommandLine.h"
#include "util/TextWrap.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <limits>

namespace {

using util::OptionError;
using util::rejectOption;

void addOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {{"o", "output"}, "write the report to FILE (default: the recording's name with .pdf)", "FILE"},
        {"run", "report run N of the file, counted from 1 (default: the last run)", "N"},
        {"page", "page size, a4 or letter (default: a4)", "SIZE"},
        {"tz", "give local times in ZONE, such as Europe/Berlin (default: this machine's)", "ZONE"},
        {"note", "print TEXT on the first page; give it again for more lines", "TEXT"},
        {"unit", "the unit under test, for a run recorded without one (default: the run's, else none)", "NAME"},
        {"operator", "who ran the test, for a run recorded without one", "NAME"},
        {"procedure", "the test procedure, for a run recorded without one", "ID"},
        {"customer", "whom the test is for, for a run recorded without one", "NAME"},
    });
    parser.addOptions(limitOptions(QStringLiteral("for a run recorded without such a limit")));
    parser.addOption({{"h", "help"}, "show this text"});
    parser.addOption({"version", "show the version"});
}

ReportOptions readOptions(const QCommandLineParser& parser)
{
    ReportOptions o;
    o.showHelp = parser.isSet("help");
    o.showVersion = parser.isSet("version");
    if (o.showHelp || o.showVersion)
        return o;
    util::rejectRepeatedOptions(parser,
                                QStringList{"output", "run", "page", "tz", "unit", "operator", "procedure", "customer"}
                                    + kLimitOptionNames);
    o.input = recordingArgument(parser);
    if (parser.isSet("output")) {
        o.output = parser.value("output");
        if (!o.output.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
            rejectOption("output", o.output, QStringLiteral("the name must end in .pdf"));
    } else {
        const QFileInfo input(o.input);
        o.output = input.path() + u'/' + input.completeBaseName() + QStringLiteral(".pdf");
    }
    o.run = int(util::wholeOption(parser, "run", 1, 1000000).value_or(o.run));
    if (parser.isSet("page")) {
        const QString page = parser.value("page").toLower();
        if (page == QLatin1String("a4"))
            o.page = QPageSize::A4;
        else if (page == QLatin1String("letter"))
            o.page = QPageSize::Letter;
        else
            rejectOption("page", parser.value("page"), QStringLiteral("not a4 or letter"));
    }
    if (parser.isSet("tz")) {
        o.zone = QTimeZone(parser.value("tz").toUtf8());
        if (!o.zone.isValid())
            rejectOption("tz", parser.value("tz"),
                         QStringLiteral("not a time zone this machine knows, such as Europe/Berlin"));
    }
    readIdentityOptions(parser, o.identity);
    o.notes = parser.values("note");
    readLimitOptions(parser, o.limits);
    return o;
}

} // namespace

ParsedReportOptions parseReportOptions(const QStringList& arguments)
{
    return parseRecordingCommandLine(addOptions, QStringLiteral("bermon-report"), arguments, readOptions);
}

QString reportHelpText()
{
    return recordingHelpText(addOptions, QStringLiteral("bermon-report")) + QStringLiteral("\n")
           + util::wrapText(QStringLiteral(
               "Writes the test record of one run as a PDF/A-1b, without a window: the unit, operator, test\n"
               "procedure and customer (the run's own; the options stand in for those it lacks, a conflict is\n"
               "a warning), the device, when and\n"
               "how long, the totals, the rates, the bound at the run's confidence, the verdict against the\n"
               "run's limits worked out as bermon-log works it out, the error performance (ES, SES, BBE, EFS,\n"
               "unavailable time, ESR, SESR, BBER, as least and most where the reports allow a range) and\n"
               "the events; then the charts of bermon-plot and an appendix of every event and the\n"
               "recorder's settings. Each page ends with the file's name, the SHA-256 of the file as read\n"
               "(it names the file the report was made from; it is no proof against editing) and its number.\n"
               "\nExit status: 0 written, 2 a bad command line, a file that is not a recording, a run that\n"
               "does not exist or holds no report, or a report that cannot be written; no PDF is left then.\n"
               "A torn last line is skipped with a warning.\n"));
}

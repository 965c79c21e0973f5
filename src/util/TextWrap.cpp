#include "util/TextWrap.h"

#include <QStringList>

namespace util {

QString wrapText(const QString& paragraphs, int width, int indent)
{
    const QString margin(indent, QLatin1Char(' '));
    QStringList filled;
    for (const QString& paragraph : paragraphs.split(QStringLiteral("\n\n"))) {
        QString text;
        QString line;
        for (const QString& word : paragraph.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
                text += margin + line + QLatin1Char('\n');
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        if (!line.isEmpty())
            text += margin + line + QLatin1Char('\n');
        filled << text;
    }
    return filled.join(QLatin1Char('\n'));
}

} // namespace util

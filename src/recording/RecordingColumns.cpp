#include "recording/RecordingColumns.h"

using namespace recording;

namespace {

QByteArray header(bool withRunFrameCounts)
{
    QByteArrayList names;
    for (int column = 0; column < ColumnCount; ++column) {
        if (withRunFrameCounts || column < RunFrames || column > RunErrorFrames)
            names << kColumnNames[size_t(column)];
    }
    return names.join(',') + '\n';
}

} // namespace

QByteArray csvHeader()
{
    return header(true);
}

QByteArray formerCsvHeader()
{
    return header(false);
}

std::optional<QList<QByteArray>> csvFields(const QByteArray& line)
{
    QList<QByteArray> fields;
    if (!line.contains('"')) {
        fields = line.split(',');
        return fields;
    }
    fields << QByteArray();
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
            fields.last() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields << QByteArray();
        else
            fields.last() += c;
    }
    if (quoted)
        return std::nullopt;
    return fields;
}

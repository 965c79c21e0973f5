#include "recording/RecordingFollower.h"

#include <QFile>

#include <sys/stat.h>

RecordingFollower::RecordingFollower(const QString& path, RowSink sink, std::function<void()> restarted)
    : m_path(path)
    , m_sink(std::move(sink))
    , m_restarted(std::move(restarted))
{
    m_parser = std::make_unique<RecordingParser>(m_path, m_sink);
}

RecordingFollower::~RecordingFollower() = default;

QString RecordingFollower::error() const
{
    return m_parser->error();
}

QStringList RecordingFollower::warnings() const
{
    return m_parser->warnings();
}

void RecordingFollower::restart()
{
    m_offset = 0;
    m_parser = std::make_unique<RecordingParser>(m_path, m_sink);
    m_restarted();
}

qint64 RecordingFollower::poll(qint64 budget)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &info) != 0) {
        m_identity = 0;
        m_size = 0;
        return 0;
    }
    m_size = info.st_size;
    const quint64 identity = (quint64(info.st_dev) << 40) ^ quint64(info.st_ino) ^ (1ull << 63);
    if (identity != m_identity || info.st_size < m_offset) {
        const bool first = m_identity == 0 && m_offset == 0;
        m_identity = identity;
        if (!first)
            restart();
    }
    if (!m_parser->error().isEmpty() || info.st_size == m_offset)
        return 0;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
        return 0;
    qint64 lines = 0;
    const qint64 start = m_offset;
    LineSplitter splitter; // from the offset, which is always a line's start
    const auto take = [this, &lines](const QByteArray& line) {
        m_offset += line.size() + 1;
        ++lines;
        return m_parser->addLine(line);
    };
    while (m_offset - start < budget) {
        const QByteArray piece = file.read(1 << 20);
        if (piece.isEmpty() || !splitter.add(piece, take))
            break;
    }
    if (splitter.tooLong())
        m_parser->refuseLongLine();
    return lines;
}

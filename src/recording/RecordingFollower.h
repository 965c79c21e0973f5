#pragma once

#include "recording/RecordingReader.h"

#include <functional>
#include <limits>
#include <memory>

// Follows a recording while a recorder appends to it, reading only what was
// appended and only whole lines: the offset stays after the last newline, so
// a torn last line waits for its end and is never glued to what a later
// recorder appends after cutting it. A file that shrinks or is replaced (a
// file of its own under the same name) is read again from its start.
class RecordingFollower
{
public:
    // `restarted` runs before the first row of a file read again from its start.
    RecordingFollower(const QString& path, RowSink sink, std::function<void()> restarted);
    ~RecordingFollower();

    // Reads what was appended since the last call, whole lines up to about
    // `budget` bytes; returns the lines read.
    qint64 poll(qint64 budget = std::numeric_limits<qint64>::max());
    // More was there than the last poll's budget: the share read so far, 0 to 1, else 1.
    double shareRead() const { return m_size > 0 && m_offset < m_size ? double(m_offset) / double(m_size) : 1; }

    // Names the line at fault once the file is found bad; reading then waits
    // for the file to be replaced.
    QString error() const;
    QStringList warnings() const;
    bool exists() const { return m_identity != 0; }

private:
    void restart();

    QString m_path;
    RowSink m_sink;
    std::function<void()> m_restarted;
    std::unique_ptr<RecordingParser> m_parser;
    qint64 m_offset = 0;
    qint64 m_size = 0;      // of the file at the last poll
    quint64 m_identity = 0; // the file's device and inode, 0 while there is none
};

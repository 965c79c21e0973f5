#pragma once

#include "RecordingReader.h"

#include <functional>
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

    // Reads what was appended since the last call; returns the lines read.
    qint64 poll();

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
    quint64 m_identity = 0; // the file's device and inode, 0 while there is none
};

#pragma once

#include <QBuffer>
#include <QString>

// The file bermon-plot or bermon-report writes, whole or not at all. What is
// drawn gathers in memory (a drawing is a few megabytes at most), since Qt's
// writers drop the rest of a write the disk takes only in part; it then goes
// to a file under a temporary name beside its own (".NAME.XXXXXX"), every
// write checked, and is renamed to its name once it has reached the disk. A
// failed write, the object's end before commit(), and SIGHUP, SIGINT or
// SIGTERM meanwhile remove the temporary file, so that a full disk or a
// closed terminal never leaves a partial file, and a file of that name from
// before stays as it was. One at a time: the signal handlers are the process's.
class OutputFile
{
public:
    explicit OutputFile(const QString& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the temporary file. False with error() set.
    bool open();
    // Where the drawing goes, once open.
    QIODevice* device() { return &m_drawing; }
    // Writes the drawing, syncs and renames the file to its name, checking
    // each step. False with error() set, and the temporary file removed.
    bool commit();
    // The drawing could not be made: the file is not kept, error() says why.
    void fail(const QString& why);
    // "-o 'run.png': No space left on device"
    QString error() const { return m_error; }

private:
    void discard(const QString& why);

    QString m_path;
    QString m_temporary; // empty while there is none
    int m_fd = -1;
    QBuffer m_drawing;
    QString m_error;
};

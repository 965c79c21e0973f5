#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Writes whole lines to a descriptor: each line in one write, so that a
// reader, a crash or kill -9 never sees half of one.
bool writeWhole(int fd, const QByteArray& line);

// The CSV recording, opened for appending. Before the first append a torn
// last line (a crash or power cut mid-write) is cut back to the last newline;
// a file in a former format of this program is renamed and a new one begun,
// since a service appends to one file for good; a file that starts with any
// other header is refused and left as it is.
class CsvFile
{
public:
    CsvFile() = default;
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // False with error() set when the file cannot be used.
    bool open(const QString& path, const QByteArray& header, const QList<QByteArray>& formerHeaders = {});
    bool isOpen() const { return m_fd >= 0; }
    // Bytes of a torn last line cut by open().
    qint64 cutBytes() const { return m_cut; }
    // Where open() moved a file in a former format; empty when it did not.
    QString renamedTo() const { return m_renamedTo; }
    QString error() const { return m_error; }

    bool append(const QByteArray& line);
    // Flushes to the disk what was appended since the last sync.
    bool sync();

private:
    bool fail(const QString& why);

    int m_fd = -1;
    QString m_path;
    QString m_error;
    QString m_renamedTo;
    qint64 m_cut = 0;
    bool m_dirty = false;
};

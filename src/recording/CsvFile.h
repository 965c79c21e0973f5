#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Writes whole lines to a descriptor: each line in one write, so that a
// reader, a crash or kill -9 never sees half of one.
bool writeWhole(int fd, const QByteArray& line);

// The CSV recording, opened for appending. Before the first append a torn
// last line (a crash or power cut mid-write) is cut back to the last newline;
// a file in a former format of this program is renamed and a new one begun,
// since a service appends to one file for good; a file that starts with any
// other header is refused and left as it is.
//
// A write that fails (a full disk, a file-size limit) is cut back to the end
// of the last whole row, so that the file holds whole rows only; the file then
// takes no more rows, and error() names the file and the cause.
//
// A file cut back under it (logrotate's copytruncate) or replaced by another
// at its path (rotated, removed) is found before the next append: the file
// there now is taken, with the header at its top and a row from
// setRestart(), so that it stays a recording.
class CsvFile
{
public:
    CsvFile() = default;
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // False with error() set when the file cannot be used. A file created here
    // that cannot take its header is removed again.
    bool open(const QString& path, const QByteArray& header, const QList<QByteArray>& formerHeaders = {});
    bool isOpen() const { return m_fd >= 0; }
    // Bytes of a torn last line cut by open().
    qint64 cutBytes() const { return m_cut; }
    // Where open() moved a file in a former format; empty when it did not.
    QString renamedTo() const { return m_renamedTo; }
    // Why open(), append() or sync() failed; empty while none has.
    QString error() const { return m_error; }

    // The rows that begin a file taken anew, after its header: `why` is
    // "file truncated" or "file replaced", `next` the first line appended
    // after them. Called from append(), in whatever thread appends.
    using Restart = std::function<QByteArray(const QString& why, const QByteArray& next)>;
    void setRestart(Restart restart) { m_restart = std::move(restart); }

    // False with error() set, e.g. "run.csv: No space left on device", when
    // the lines are not written whole; then every later append fails too.
    bool append(const QByteArray& lines);
    // Flushes to the disk what was appended since the last sync.
    bool sync();

private:
    bool fail(const QString& why);
    void failWrite(int error);
    bool openPath(const QList<QByteArray>& formerHeaders, qint64* cut);
    QString movedUnder() const;
    bool takeAnew(const QString& why);
    bool write(const QByteArray& bytes);

    int m_fd = -1;
    QString m_path;
    QByteArray m_header;
    Restart m_restart;
    QString m_error;
    QString m_renamedTo;
    qint64 m_cut = 0;
    qint64 m_end = 0; // the end of the last whole row
    int m_errno = 0;  // the cause of the last failed write or sync
    bool m_broken = false;
    bool m_dirty = false;
};

#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class CsvFile;

// The recorder's outputs, written by a thread of their own: reading and
// stamping reports never waits for a reader of standard output that stopped
// draining it, a slow disk or a stalled textfile directory. Rows wait in
// memory, at most kMaxWaitingBytes an output; rows that come faster than one
// every 2 kBatchMs go out in batches of kBatchMs, so that a row costs no
// wake-up of its own.
class OutputQueue
{
public:
    enum Output { Csv, StandardOutput, Prom };
    static constexpr qsizetype kMaxWaitingBytes = 16 << 20;
    static constexpr int kBatchMs = 20;

    // `csv` (open, or null), JSON lines to standard output or not, the
    // Prometheus file at `promPath` (empty: none).
    OutputQueue(CsvFile* csv, bool json, const QString& promPath);
    // Writes what waits, however long that takes.
    ~OutputQueue();
    OutputQueue(const OutputQueue&) = delete;
    OutputQueue& operator=(const OutputQueue&) = delete;

    void appendRow(const QByteArray& csvLine, const QByteArray& jsonLine);
    // The file's next content; only the newest waiting one is written.
    void replaceProm(const QByteArray& text);
    // Flushes the CSV file to the disk after the next batch.
    void syncCsv();
    // Returns once everything handed over so far is written, or has failed.
    void drain();

    // The first output more than kMaxWaitingBytes behind, if any: rows keep
    // waiting for it, none is dropped.
    std::optional<Output> behind() const;
    // Why writing the CSV file or standard output failed; empty while it has not.
    QString rowsError() const;
    // Why the last write of the Prometheus file failed; empty after one that did not.
    QString promError() const;
    static QString name(Output output);

private:
    void run();

    CsvFile* m_csv;
    const bool m_json;
    const QString m_promPath;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;     // something waits, or the end
    std::condition_variable m_progress; // a batch went out
    std::condition_variable m_pause;    // only the end ends a pause between batches
    QByteArray m_csvWaiting, m_jsonWaiting;
    std::optional<QByteArray> m_promWaiting;
    bool m_syncWanted = false;
    bool m_writing = false;
    bool m_ending = false;
    std::optional<Output> m_behind;
    QString m_rowsError, m_promError;
    std::thread m_thread; // last: starts once the rest is set up
};

#include "OutputQueue.h"

#include "recording/CsvFile.h"
#include "PromFile.h"

#include <chrono>

#include <unistd.h>

OutputQueue::OutputQueue(CsvFile* csv, bool json, const QString& promPath)
    : m_csv(csv)
    , m_json(json)
    , m_promPath(promPath)
    , m_thread([this] { run(); })
{
}

OutputQueue::~OutputQueue()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_work.notify_one();
    m_pause.notify_one();
    m_thread.join();
}

void OutputQueue::appendRow(const QByteArray& csvLine, const QByteArray& jsonLine)
{
    bool wasIdle = false;
    {
        const std::lock_guard lock(m_mutex);
        wasIdle = m_csvWaiting.isEmpty() && m_jsonWaiting.isEmpty() && !m_writing;
        if (m_csv)
            m_csvWaiting += csvLine;
        if (m_json)
            m_jsonWaiting += jsonLine;
        if (!m_behind && m_csvWaiting.size() > kMaxWaitingBytes)
            m_behind = Csv;
        if (!m_behind && m_jsonWaiting.size() > kMaxWaitingBytes)
            m_behind = StandardOutput;
    }
    if (wasIdle)
        m_work.notify_one();
}

void OutputQueue::replaceProm(const QByteArray& text)
{
    if (m_promPath.isEmpty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_promWaiting = text;
    }
    m_work.notify_one();
}

void OutputQueue::syncCsv()
{
    {
        const std::lock_guard lock(m_mutex);
        m_syncWanted = m_csv != nullptr;
    }
    m_work.notify_one();
}

void OutputQueue::drain()
{
    std::unique_lock lock(m_mutex);
    m_progress.wait(lock, [this] {
        return !m_writing && m_csvWaiting.isEmpty() && m_jsonWaiting.isEmpty() && !m_promWaiting && !m_syncWanted;
    });
}

std::optional<OutputQueue::Output> OutputQueue::behind() const
{
    const std::lock_guard lock(m_mutex);
    return m_behind;
}

QString OutputQueue::rowsError() const
{
    const std::lock_guard lock(m_mutex);
    return m_rowsError;
}

QString OutputQueue::promError() const
{
    const std::lock_guard lock(m_mutex);
    return m_promError;
}

QString OutputQueue::name(Output output)
{
    switch (output) {
    case Csv:
        return QStringLiteral("the CSV file");
    case StandardOutput:
        return QStringLiteral("standard output (--jsonl)");
    case Prom:
        return QStringLiteral("the --prom-file");
    }
    return {};
}

void OutputQueue::run()
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastBatch;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] {
            return m_ending || !m_csvWaiting.isEmpty() || !m_jsonWaiting.isEmpty() || m_promWaiting || m_syncWanted;
        });
        const QByteArray csv = std::exchange(m_csvWaiting, {});
        const QByteArray json = std::exchange(m_jsonWaiting, {});
        const std::optional<QByteArray> prom = std::exchange(m_promWaiting, std::nullopt);
        const bool sync = std::exchange(m_syncWanted, false);
        if (csv.isEmpty() && json.isEmpty() && !prom && !sync) {
            m_progress.notify_all();
            return; // the end, with nothing left
        }
        m_writing = true;
        lock.unlock();
        // A failed write of the rows stays failed: the CSV file takes no more
        // rows once cut back to its last whole one, and a gone reader is gone.
        QString rowsError;
        if (!csv.isEmpty() && !m_csv->append(csv))
            rowsError = m_csv->error();
        if (!json.isEmpty() && !writeWhole(STDOUT_FILENO, json))
            rowsError = QStringLiteral("standard output (--jsonl) could not be written");
        if (sync && !m_csv->sync())
            rowsError = m_csv->error();
        const QString promError = prom ? writePromFile(m_promPath, *prom) : QString();
        lock.lock();
        m_writing = false;
        if (m_rowsError.isEmpty())
            m_rowsError = rowsError;
        if (prom)
            m_promError = promError;
        m_progress.notify_all();
        // Rows that come fast wait a little and go out together; a row that
        // comes alone goes out at once, with the one wake-up it needs anyway.
        // A batch that follows a pause comes a pause and a write after the
        // one before, so twice the pause still counts as fast: rows at a
        // steady rate go out in batches of a pause each, not in a batch and
        // then a row on its own.
        const Clock::time_point now = Clock::now();
        const bool fast = now - lastBatch < 2 * std::chrono::milliseconds(kBatchMs);
        lastBatch = now;
        if (fast)
            m_pause.wait_for(lock, std::chrono::milliseconds(kBatchMs), [this] { return m_ending; });
    }
}

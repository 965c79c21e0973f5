#pragma once

#include "measurement/RunTotals.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace measurement {

// The settings of a recorded run: what the recorder was asked to do, as its
// `started` row keeps them, so that anyone reading the recording later can
// give the run's verdict again.
struct RunSettings
{
    QString device;
    // Who and what the run is for, as given to the recorder; empty when not given.
    QString unit;
    QString operatorName;
    QString procedure; // the test procedure's identifier
    QString customer;
    QString note;
    int baud = 9600;
    CounterModel counters = CounterModel::Restart;
    double confidence = 0.95;
    std::optional<double> maxBer;
    // At most this many frames may be lost for a pass. A run with a BER limit
    // and no limit of its own on lost frames allows none.
    std::optional<quint64> maxLostFrames;
    // Error-performance limits: errored and severely errored seconds, unavailable seconds.
    std::optional<qint64> maxEs;
    std::optional<qint64> maxSes;
    std::optional<qint64> maxUnavailableSeconds;
    // How long before its arrival a report's counts may have been taken, on
    // top of its wire time: 0 in recordings older than the setting.
    double latencyMs = 0;
    // Reports stopping for this long fail the run.
    std::optional<double> maxSilenceSeconds;
    double durationSeconds = 0; // stop conditions; 0: none
    double stopBits = 0;
    qint64 stopReports = 0;
    QString version; // of the program that recorded the run

    bool verdictAsked() const { return maxBer || maxLostFrames || performanceLimited(); }
    bool berVerdictAsked() const { return maxBer || maxLostFrames; }
    bool performanceLimited() const { return maxEs || maxSes || maxUnavailableSeconds || maxSilenceSeconds; }
    quint64 allowedLostFrames() const { return maxLostFrames.value_or(0); }
};

// Why a run stopped that lasted its whole duration: the first words of its `stopped` row.
inline constexpr char kDurationReached[] = "duration reached";

// The version of these programs.
QString programVersion();

// The detail of a `started` row: the words people read first ("/dev/ttyUSB0,
// 9600 baud, counters restart, confidence 0.95, max BER 1e-08"), then every
// setting as key=value pairs, values percent-encoded.
QString startedDetail(const RunSettings& settings);

// The settings of a `started` row's detail, each checked against the range
// the recorder's options allow: a key=value pair out of range is an error
// naming the key, a leading word out of range a warning, its setting left out.
struct StartedSettings
{
    RunSettings settings;
    QString error; // empty when every pair is good
    QStringList warnings;
};
// Of this version or of one that wrote the leading words only.
StartedSettings readStartedDetail(const QString& detail);
// The settings alone, of a detail the reader has found good.
RunSettings settingsFromStartedDetail(const QString& detail);
// A `started` row's detail in its two parts: the leading words, and the
// key=value pairs after them (none in an older recording's).
QString startedDetailWords(const QString& detail);
QList<std::pair<QString, QString>> startedDetailPairs(const QString& detail);

// "key=value key=value", values percent-encoded so that blanks, ';' and '='
// in them cannot break a pair; and back.
QString keyValueText(const QList<std::pair<QString, QString>>& pairs);
QList<std::pair<QString, QString>> keyValuePairs(const QString& text);

} // namespace measurement

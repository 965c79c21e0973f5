#pragma once

#include "measurement/RunSettings.h"
#include "util/CommandLine.h"

#include <QString>
#include <QStringList>

#include <optional>

using measurement::CounterModel;

// What the command line of bermon-log asks for.
struct LogOptions
{
    bool showHelp = false;
    QString device; // --device, or empty
    int port = 0;   // --port, or 0
    int baudRate = 9600;
    CounterModel counters = CounterModel::Restart;
    QString csvPath; // empty: no CSV
    bool jsonl = false;
    QString promPath; // --prom-file, or empty
    QString unit;     // --unit; empty: the device's base name
    double confidence = 0.95;
    std::optional<double> maxBer;
    std::optional<quint64> maxLostFrames; // --max-lost-frames; with --max-ber alone, none may be lost
    std::optional<qint64> maxEs;          // error-performance limits
    std::optional<qint64> maxSes;
    std::optional<qint64> maxUnavailableSeconds;
    std::optional<double> maxSilenceSeconds;
    double latencyMs = 20; // a USB adapter's default latency timer, with room to spare
    qint64 durationMs = 0; // 0: no limit
    double stopBits = 0;   // 0: no limit
    bool stopBitsAuto = false;
    qint64 stopReports = 0; // 0: no limit
    bool reconnect = false;
    bool quiet = false;
};

using ParsedLogOptions = util::ParsedOptions<LogOptions>;

// `arguments` is the command line after the program's name.
ParsedLogOptions parseLogOptions(const QStringList& arguments);

QString logHelpText();

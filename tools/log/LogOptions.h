#pragma once

#include "measurement/RunSettings.h"
#include "util/CommandLine.h"

#include <QString>
#include <QStringList>

#include <optional>

// RunSettings' defaults, with a latency of 20 ms: a USB adapter's default
// latency timer, with room to spare.
inline measurement::RunSettings defaultRunSettings()
{
    measurement::RunSettings settings;
    settings.latencyMs = 20;
    return settings;
}

// What the command line of bermon-log asks for.
struct LogOptions
{
    bool showHelp = false;
    bool showVersion = false;
    QString device;  // --device, or empty
    int port = 0;    // --port, or 0
    QString csvPath; // empty: no CSV
    bool jsonl = false;
    QString promPath; // --prom-file, or empty
    // The run's settings as the options give them, for its `started` row:
    // --unit, --operator, --procedure, --customer, --note (each empty when not
    // given), --baud, --counters, --confidence,
    // the limits (with --max-ber alone, no frame may be lost), --max-silence,
    // --latency and the stop conditions. The recorder adds the device it
    // opened and the program's version.
    measurement::RunSettings run = defaultRunSettings();
    bool stopBitsAuto = false;
    bool reconnect = false;
    bool quiet = false;

    qint64 durationMs() const { return qRound64(run.durationSeconds * 1000); } // 0: no limit
};

using ParsedLogOptions = util::ParsedOptions<LogOptions>;

// `arguments` is the command line after the program's name.
ParsedLogOptions parseLogOptions(const QStringList& arguments);

QString logHelpText();

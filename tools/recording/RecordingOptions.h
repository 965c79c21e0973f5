#pragma once

#include "measurement/RunSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QStringList>

// What the command lines of the programs that read a recording share: the
// recording, RUN.csv, and the limits a verdict is worked out against.

// The recording, the one argument; a util::OptionError when there is none or more.
QString recordingArgument(const QCommandLineParser& parser);
// Qt's help of the options `parser` knows, with the recording as the argument.
QString recordingHelpText(QCommandLineParser& parser);

// The limits as options: --max-ber, --max-lost-frames, --max-es, --max-ses
// and --max-unavailable. `standing` says how they stand to the run's own
// limits, for the help: "in place of the run's own".
QList<QCommandLineOption> limitOptions(const QString& standing);
inline const QStringList kLimitOptionNames{"max-ber", "max-lost-frames", "max-es", "max-ses", "max-unavailable"};

// Reads the limits given; a util::OptionError names the option at fault.
void readLimitOptions(const QCommandLineParser& parser, measurement::RunSettings& limits);

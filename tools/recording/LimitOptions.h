#pragma once

#include "measurement/RunSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QStringList>

// The limits a verdict is worked out against, as options of the programs
// that read recordings: --max-ber, --max-lost-frames, --max-es, --max-ses
// and --max-unavailable. `standing` says how they stand to the run's own
// limits, for the help: "in place of the run's own".
QList<QCommandLineOption> limitOptions(const QString& standing);
inline const QStringList kLimitOptionNames{"max-ber", "max-lost-frames", "max-es", "max-ses", "max-unavailable"};

// Reads the limits given; a util::OptionError names the option at fault.
void readLimitOptions(const QCommandLineParser& parser, measurement::RunSettings& limits);

#pragma once

#include "measurement/RunSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>

#include <optional>

// The limits a verdict is worked out against, as options of the programs
// that read recordings: --max-ber, --max-lost-frames, --max-es, --max-ses
// and --max-unavailable. `standing` says how they stand to the run's own
// limits, for the help: "in place of the run's own".
QList<QCommandLineOption> limitOptions(const QString& standing);
inline const char* const kLimitOptionNames[] = {"max-ber", "max-lost-frames", "max-es", "max-ses", "max-unavailable"};

// The value of `option` as a whole number from `low` to `high`; when it is
// not one, nothing, and `error` names the option and the range.
std::optional<qint64> wholeOption(const QCommandLineParser& parser, const QString& option, qint64 low, qint64 high,
                                  QString& error);

// Reads the limits given; returns a message naming the option at fault, or nothing.
QString readLimitOptions(const QCommandLineParser& parser, measurement::RunSettings& limits);

#pragma once

#include "measurement/RunSettings.h"
#include "util/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QStringList>

// What the command lines of the programs that read a recording share: the
// recording, RUN.csv, and the limits a verdict is worked out against.

// Declares a program's options to a parser.
using AddOptions = void (*)(QCommandLineParser& parser);

// The command line of `program`: the options `addOptions` declares, read by
// `read(parser)` (see util::parseCommandLine).
template <typename Read>
auto parseRecordingCommandLine(AddOptions addOptions, const QString& program, const QStringList& arguments, Read read)
{
    QCommandLineParser parser;
    addOptions(parser);
    return util::parseCommandLine(parser, program, arguments, read);
}

// The recording, the one argument; a util::OptionError when there is none or more.
QString recordingArgument(const QCommandLineParser& parser);
// Qt's help of the options `addOptions` declares, with the recording as the
// argument; its usage line names `program`, not the path it was started by.
QString recordingHelpText(AddOptions addOptions, const QString& program);

// The limits as options: --max-ber, --max-lost-frames, --max-es, --max-ses
// and --max-unavailable. `standing` says how they stand to the run's own
// limits, for the help: "in place of the run's own".
QList<QCommandLineOption> limitOptions(const QString& standing);
inline const QStringList kLimitOptionNames{"max-ber", "max-lost-frames", "max-es", "max-ses", "max-unavailable"};

// Reads the limits given; a util::OptionError names the option at fault.
void readLimitOptions(const QCommandLineParser& parser, measurement::RunSettings& limits);

// Who and what a run is for: --unit, --operator, --procedure, --customer and
// --note, read into `settings`; a name that is blank or longer than a line
// of a report holds is a util::OptionError.
inline const QStringList kIdentityOptionNames{"unit", "operator", "procedure", "customer", "note"};
void readIdentityOptions(const QCommandLineParser& parser, measurement::RunSettings& settings);

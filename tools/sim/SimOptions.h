#pragma once

#include "emulator/UnitEmulator.h"
#include "util/CommandLine.h"

#include <QString>
#include <QStringList>

// What the command line of bermon-sim asks for.
struct SimOptions
{
    bool showHelp = false;
    bool showVersion = false;
    QString device;    // empty: a new pseudo-terminal
    QString truthPath; // the CSV file of what the link did each second; empty: none
    emulator::EmulatorSettings emulator;
};

// Whose command line it is: bermon-sim's, or that of a program with a unit built in (bermon-demo),
// which has defaults of its own and no --device or --truth.
struct SimCommandLine
{
    QString program = QStringLiteral("bermon-sim");
    QString summary; // the lines after "Usage:" in the help; empty: bermon-sim's
    emulator::EmulatorSettings defaults;
    bool takesDevice = true;
    bool takesTruth = true;
};

using ParsedSimOptions = util::ParsedOptions<SimOptions>;

// `arguments` is the command line after the program's name.
ParsedSimOptions parseSimOptions(const QStringList& arguments, const SimCommandLine& commandLine = {});

QString simHelpText(const SimCommandLine& commandLine = {});

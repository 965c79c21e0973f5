#pragma once

#include "emulator/UnitEmulator.h"

#include <QString>
#include <QStringList>

// What the command line of bermon-sim asks for.
struct SimOptions
{
    bool showHelp = false;
    QString device;  // empty: a new pseudo-terminal
    emulator::EmulatorSettings emulator;
};

struct ParsedSimOptions
{
    SimOptions options;
    QString error;  // empty when the command line is good; else names the option and value at fault

    bool ok() const { return error.isEmpty(); }
};

// `arguments` is the command line after the program's name.
ParsedSimOptions parseSimOptions(const QStringList& arguments);

QString simHelpText();

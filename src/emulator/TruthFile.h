#pragma once

#include "emulator/LinkRun.h"

#include <QFile>
#include <QString>

#include <vector>

namespace emulator {

// The truth of a run in a CSV file, written line by line and flushed as it goes, so that a reader
// can follow it.
class TruthFile
{
public:
    // Creates or empties the file at `path` and writes the header.
    bool open(const QString& path);
    bool isOpen() const { return m_file.isOpen(); }
    // Appends a line for each second; false when the file takes them no longer.
    bool write(const std::vector<SecondTruth>& seconds);
    QString errorString() const { return m_file.errorString(); }

private:
    QFile m_file;
};

} // namespace emulator

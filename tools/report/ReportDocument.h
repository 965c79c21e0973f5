#pragma once

#include "ReportOptions.h"

#include <QStringList>

// Reads the recording options.input names and writes the test record of
// the run it asks for to options.output, a PDF: whole or not at all.
// Warnings go to `warnings`. Returns an error message, or nothing.
QString writeReport(const ReportOptions& options, QStringList& warnings);

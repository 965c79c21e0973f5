#pragma once

#include "measurement/RunSettings.h"
#include "util/CommandLine.h"

#include <QPageSize>
#include <QString>
#include <QStringList>
#include <QTimeZone>

// What the command line of bermon-report asks for.
struct ReportOptions
{
    bool showHelp = false;
    bool showVersion = false;
    QString input;
    QString output; // the PDF; by default the recording's name with .pdf
    int run = 0;    // 1-based; 0: the last run of the file
    QPageSize::PageSizeId page = QPageSize::A4;
    QTimeZone zone = QTimeZone::systemTimeZone();
    QStringList notes;
    // The unit, operator, procedure and customer for a run recorded without
    // them; the run's own win.
    measurement::RunSettings identity;
    // Limits that stand in for the ones the run was recorded without.
    measurement::RunSettings limits;
};

using ParsedReportOptions = util::ParsedOptions<ReportOptions>;

ParsedReportOptions parseReportOptions(const QStringList& arguments);
QString reportHelpText();

#pragma once

#include <QString>

// What a row of a recording stands for: a counter report, or one of the
// events the recorder notes in the event column.
enum class RowEvent {
    Report, // the event column empty
    Started,
    Stopped,
    DeviceLost,
    DeviceBack,
    CountsWentDown,
    Silent,
    Settings,
    ClockStepped,
    OutputBehind,
    Unframed,
    TornLineCut,
    EarlierFormatRenamed,
};

// The event column's text: "started", "device lost", ...; empty for a report.
QString eventName(RowEvent event);

// Why the recorder took its file anew while it ran, as the `started` row it
// writes at the new file's top says after the settings' leading words.
enum class FileRestart { Truncated, Replaced };

// "file truncated", "file replaced"
QString fileRestartText(FileRestart why);

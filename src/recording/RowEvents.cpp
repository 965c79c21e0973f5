#include "recording/RowEvents.h"

QString eventName(RowEvent event)
{
    switch (event) {
    case RowEvent::Report:
        return {};
    case RowEvent::Started:
        return QStringLiteral("started");
    case RowEvent::Stopped:
        return QStringLiteral("stopped");
    case RowEvent::DeviceLost:
        return QStringLiteral("device lost");
    case RowEvent::DeviceBack:
        return QStringLiteral("device back");
    case RowEvent::CountsWentDown:
        return QStringLiteral("counts went down");
    case RowEvent::Silent:
        return QStringLiteral("silent");
    case RowEvent::Settings:
        return QStringLiteral("settings");
    case RowEvent::ClockStepped:
        return QStringLiteral("clock stepped");
    case RowEvent::OutputBehind:
        return QStringLiteral("output behind");
    case RowEvent::Unframed:
        return QStringLiteral("unframed");
    case RowEvent::TornLineCut:
        return QStringLiteral("torn line cut");
    case RowEvent::EarlierFormatRenamed:
        return QStringLiteral("earlier format renamed");
    }
    return {};
}

QString fileRestartText(FileRestart why)
{
    return why == FileRestart::Truncated ? QStringLiteral("file truncated") : QStringLiteral("file replaced");
}

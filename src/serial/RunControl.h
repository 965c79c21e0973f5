#pragma once

#include "measurement/CounterReport.h"

#include <QString>
#include <QtGlobal>

namespace serial {

class CommControl;

enum class ChoiceList { CommPort, BaudRate };

// Colours as the window toolkit numbers them, &HBBGGRR.
inline constexpr quint32 kConnectedColour = 0xFF0000;    // blue
inline constexpr quint32 kNotConnectedColour = 0x0000FF; // red
inline const QString kConnectedCaption = QStringLiteral("Connecting.....");
inline const QString kNotConnectedCaption = QStringLiteral("No Connecting.....");
inline const QString kWindowTitle = QStringLiteral("KESMO BER Test Program ") + QStringLiteral("2020.08.18");

// Length of a counter report: a run takes reports while the threshold is this.
inline constexpr qint16 kRunThreshold = measurement::kReportLength;

// What the port-selection and run handlers need of the window. Any call may
// throw; the handlers decide what a failure means.
class RunControlView
{
public:
    virtual ~RunControlView() = default;
    virtual void setTitle(const QString& title) = 0;
    virtual void appendEntry(ChoiceList list, const QString& entry) = 0;
    // Selects the entry and runs the list's selection handler at once, nested.
    virtual void selectIndex(ChoiceList list, int index) = 0;
    virtual int selectedIndex(ChoiceList list) const = 0;
    virtual void setPortStatusColour(quint32 bgr) = 0;
    virtual void setPortStatusCaption(const QString& caption) = 0;
    // Runs the window's port-selection handler directly.
    virtual void runPortSelection() = 0;
    virtual void resetStatus() = 0;
    // Ends the program at once, successfully.
    virtual void endProgram() = 0;
};

// Load: title, the two lists, port 1 opened at 9600 baud, no run.
void loadWindow(RunControlView& view, CommControl& comm);

// Closes the port and opens the chosen one, then shows whether it opened.
// Every action is guarded on its own: a failed action is skipped silently.
void selectPort(RunControlView& view, CommControl& comm) noexcept;

// Applies the line settings of the chosen baud rate; nothing for no choice.
void selectBaudRate(const RunControlView& view, CommControl& comm);

// Clears the displays, drops the backlog and starts taking reports.
void startRun(RunControlView& view, CommControl& comm);

// Stops taking reports; the displays keep their texts.
void stopRun(CommControl& comm);

// A close request. `origin` 0 is the operator's close box or window menu: the
// port is closed and the program ends at once. Other origins change nothing.
void queryUnload(RunControlView& view, CommControl& comm, qint16& cancel, qint16 origin);

// The window is being unloaded: the port is closed.
void unloadWindow(CommControl& comm, qint16& cancel);

// The line-settings text for each entry of the baud list, in list order.
struct BaudEntry
{
    const char* entry;
    const char* settings;
};
inline constexpr BaudEntry kBaudEntries[] = {
    {"9600", "9600,n,8,1"},   {"19200", "19200,n,8,1"}, {"28800", "28800,n,8,1"},
    {"38400", "38400,n,8,1"}, {"57600", "57600,n,8,1"}, {"115200", "115200,n,8,1"},
};
inline constexpr int kPortCount = 16;

} // namespace serial

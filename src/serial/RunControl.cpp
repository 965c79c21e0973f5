#include "serial/RunControl.h"

#include "measurement/StepGuard.h"
#include "serial/CommControl.h"

#include <iterator>

namespace serial {

using measurement::runGuarded;

void loadWindow(RunControlView& view, CommControl& comm)
{
    view.setTitle(kWindowTitle);
    for (int port = 1; port <= kPortCount; ++port)
        view.appendEntry(ChoiceList::CommPort, QString::number(port));
    view.selectIndex(ChoiceList::CommPort, 0);
    for (const BaudEntry& baud : kBaudEntries)
        view.appendEntry(ChoiceList::BaudRate, QLatin1String(baud.entry));
    view.selectIndex(ChoiceList::BaudRate, 0);
    comm.setRThreshold(0);
    view.runPortSelection();
}

void selectPort(RunControlView& view, CommControl& comm) noexcept
{
    runGuarded([&] { comm.setPortOpen(false); });
    runGuarded([&] { comm.setCommPort(static_cast<qint16>(view.selectedIndex(ChoiceList::CommPort) + 1)); });
    runGuarded([&] { comm.setPortOpen(true); });
    // A failed check counts as open, like any failed step that is skipped.
    bool open = true;
    runGuarded([&] { open = comm.portOpen(); });
    if (open) {
        runGuarded([&] { view.setPortStatusColour(kConnectedColour); });
        runGuarded([&] { view.setPortStatusCaption(kConnectedCaption); });
        return;
    }
    runGuarded([&] { view.setPortStatusColour(kNotConnectedColour); });
    runGuarded([&] { view.setPortStatusCaption(kNotConnectedCaption); });
}

void selectBaudRate(const RunControlView& view, CommControl& comm)
{
    const int index = view.selectedIndex(ChoiceList::BaudRate);
    if (index < 0 || index >= int(std::size(kBaudEntries)))
        return;
    comm.setSettings(QLatin1String(kBaudEntries[index].settings));
}

void startRun(RunControlView& view, CommControl& comm)
{
    view.resetStatus();
    comm.setRThreshold(0);
    comm.input(); // the backlog gathered while stopped is dropped
    comm.setRThreshold(kRunThreshold);
}

void stopRun(CommControl& comm)
{
    comm.setRThreshold(0);
}

void queryUnload(RunControlView& view, CommControl& comm, qint16& cancel, qint16 origin)
{
    if (origin != 0)
        return;
    if (comm.portOpen())
        comm.setPortOpen(false);
    cancel = 1;
    view.endProgram();
}

void unloadWindow(CommControl& comm, qint16& /*cancel*/)
{
    comm.setPortOpen(false);
}

} // namespace serial

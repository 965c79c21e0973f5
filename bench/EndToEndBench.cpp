#include "Benches.h"
#include "PtyFloor.h"
#include "ReportWriter.h"

#include "emulator/PseudoTerminal.h"
#include "serial/CommControl.h"
#include "serial/SerialPortBackend.h"
#include "ui/Form1.h"
#include "ui/ValueDisplay.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <thread>

namespace bench {

namespace {

// The monitor on port 1, a pseudo-terminal, started and ready for reports.
struct Monitor
{
    Monitor()
        : form(std::make_unique<serial::SerialPortBackend>(), [this](int) { return line.slavePath(); })
    {
        form.Form_Load();
        form.show();
        form.findChild<QPushButton*>(QStringLiteral("cmd_start"))->click();
        comm = form.findChild<serial::CommControl*>(QStringLiteral("MSComm1"));
    }
    void runEventsFor(double seconds)
    {
        QEventLoop loop;
        QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
    }

    emulator::PseudoTerminal line;
    ui::Form1 form;
    serial::CommControl* comm = nullptr;
};

QString microseconds(double seconds)
{
    return QString::number(seconds * 1e6, 'f', 0) + QStringLiteral(" us");
}

struct StreamFigures
{
    std::vector<double> staleness; // per report, until it or a newer one is on the window
    int neverSent = 0;             // states shown that no report carried
    bool lastShown = false;
    double cpuSeconds = 0; // the window thread's, from /proc
    double cpuShare = 0;
};

// Numbered reports at 960 a second into the running monitor.
StreamFigures runStream(Writes writes)
{
    Monitor monitor;
    monitor.runEventsFor(0.1); // the line is quiet before the unit starts
    const std::array displays{monitor.form.findChild<ui::ValueDisplay*>(QStringLiteral("txt_RecvFrame")),
                              monitor.form.findChild<ui::ValueDisplay*>(QStringLiteral("txt_LossFrame")),
                              monitor.form.findChild<ui::ValueDisplay*>(QStringLiteral("txt_ErrorFrame")),
                              monitor.form.findChild<ui::ValueDisplay*>(QStringLiteral("txt_ErrorBit"))};

    std::vector<std::atomic<double>> writtenAt(kNumberedReports + 1);
    StreamFigures figures;
    figures.staleness.reserve(kNumberedReports);
    quint32 current = 0; // every report up to this one has been on the window
    // Connected after the window's own handler, so it runs once the displays
    // hold the new texts. Report i counts i frames and i bit errors.
    QObject::connect(monitor.comm, &serial::CommControl::OnComm, &monitor.form, [&] {
        const double now = monotonicSeconds();
        const quint32 i = displays[3]->text().toUInt();
        const bool sent = i >= 1 && i <= quint32(kNumberedReports) && displays[0]->text().toUInt() == (i & 0xFFFF)
                          && displays[1]->text() == QLatin1String("0") && displays[2]->text() == QLatin1String("0");
        if (!sent) {
            ++figures.neverSent;
            return;
        }
        for (; current < i; ++current)
            figures.staleness.push_back(now - writtenAt[current + 1].load(std::memory_order_acquire));
    });

    std::atomic<bool> done = false;
    std::thread writer([&] {
        writeNumberedReports(monitor.line, writtenAt, writes);
        done = true;
    });

    const double cpuStart = scheduledSecondsOfThisThread();
    const double wallStart = monotonicSeconds();
    while (!done)
        monitor.runEventsFor(0.1);
    monitor.runEventsFor(0.2);
    figures.cpuSeconds = scheduledSecondsOfThisThread() - cpuStart;
    figures.cpuShare = figures.cpuSeconds / (monotonicSeconds() - wallStart);
    writer.join();
    figures.lastShown = displays[3]->text() == QString::number(kNumberedReports);
    return figures;
}

QString stalenessText(std::vector<double>& staleness)
{
    return QStringLiteral("%1 / %2").arg(microseconds(quantile(staleness, 0.5)),
                                         microseconds(quantile(staleness, 0.99)));
}

double median(std::vector<double> values)
{
    return quantile(values, 0.5);
}

QString perReport(double seconds)
{
    return QString::number(seconds * 1e6, 'f', 1) + QStringLiteral(" us");
}

} // namespace

std::vector<Figure> benchEndToEnd()
{
    // The bare loop, the monitor on whole reports and on pieces take turns,
    // so that a load on the machine weighs on all three alike.
    constexpr int kRounds = 3;
    StreamFigures whole, pieces; // staleness and states of every round
    std::vector<double> floorCpu, wholeCpu, piecesCpu, wholeShare, piecesShare, wholeRatio, piecesRatio;
    for (int round = 0; round < kRounds; ++round) {
        const PtyFloorRun floor = runPtyFloor();
        floorCpu.push_back(floor.cpuSeconds / kNumberedReports);
        for (const Writes writes : {Writes::WholeReports, Writes::UsbPieces}) {
            const bool isWhole = writes == Writes::WholeReports;
            StreamFigures run = runStream(writes);
            StreamFigures& all = isWhole ? whole : pieces;
            all.staleness.insert(all.staleness.end(), run.staleness.begin(), run.staleness.end());
            all.neverSent += run.neverSent;
            all.lastShown = (round == 0 || all.lastShown) && run.lastShown;
            (isWhole ? wholeCpu : piecesCpu).push_back(run.cpuSeconds / kNumberedReports);
            (isWhole ? wholeShare : piecesShare).push_back(run.cpuShare);
            (isWhole ? wholeRatio : piecesRatio).push_back(run.cpuSeconds / kNumberedReports / floorCpu.back());
        }
    }
    const auto yesNo = [](bool yes) { return yes ? QStringLiteral("yes") : QStringLiteral("no"); };
    const double ratio = median(wholeRatio);
    return {
        {QStringLiteral("End to end: staleness p50 / p99 (%1 x %2 reports at 960/s, one write each)")
             .arg(kRounds)
             .arg(kNumberedReports),
         stalenessText(whole.staleness), QStringLiteral("p99 < 1 ms"), quantile(whole.staleness, 0.99) < 1e-3},
        {QStringLiteral("End to end: staleness p50 / p99 (the same in USB-sized pieces)"),
         stalenessText(pieces.staleness), QStringLiteral("p99 < 2 ms"), quantile(pieces.staleness, 0.99) < 2e-3},
        {QStringLiteral("End to end: states shown that were never sent (whole / pieces)"),
         QStringLiteral("%1 / %2").arg(whole.neverSent).arg(pieces.neverSent), QStringLiteral("0 / 0"),
         whole.neverSent == 0 && pieces.neverSent == 0, Figure::Correctness},
        {QStringLiteral("End to end: last report shown at the end (whole / pieces)"),
         QStringLiteral("%1 / %2").arg(yesNo(whole.lastShown), yesNo(pieces.lastShown)), QStringLiteral("yes / yes"),
         whole.lastShown && pieces.lastShown, Figure::Correctness},
        {QStringLiteral("CPU per report at 960 reports/s, window thread (whole / pieces; median of %1, taking turns "
                        "with the floor)")
             .arg(kRounds),
         QStringLiteral("%1 / %2 (%3 x / %4 x floor; %5 % / %6 % of a core)")
             .arg(perReport(median(wholeCpu)), perReport(median(piecesCpu)))
             .arg(ratio, 0, 'f', 2)
             .arg(median(piecesRatio), 0, 'f', 2)
             .arg(median(wholeShare) * 100, 0, 'f', 2)
             .arg(median(piecesShare) * 100, 0, 'f', 2),
         QStringLiteral("<= 3 x floor (whole)"), ratio <= 3},
        {QStringLiteral("Floor beside it: bare poll/read loop, CPU per report (median of %1)").arg(kRounds),
         perReport(median(floorCpu)), QStringLiteral("(reference)"), true},
    };
}

std::vector<Figure> benchIdleCpu()
{
    Monitor monitor;
    monitor.form.findChild<QPushButton*>(QStringLiteral("cmd_stop"))->click();
    monitor.runEventsFor(0.5);
    const double cpuStart = processCpuSeconds();
    const double wallStart = monotonicSeconds();
    monitor.runEventsFor(10);
    const double share = (processCpuSeconds() - cpuStart) / (monotonicSeconds() - wallStart);
    return {{QStringLiteral("CPU while idle, port open, stopped (10 s)"),
             QString::number(share * 100, 'f', 3) + QStringLiteral(" %"), QStringLiteral("< 0.5 %"),
             share < 0.005 && monitor.comm->portOpen()}};
}

} // namespace bench

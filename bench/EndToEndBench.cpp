#include "Benches.h"
#include "ReportWriter.h"

#include "emulator/PseudoTerminal.h"
#include "serial/CommControl.h"
#include "serial/SerialPortBackend.h"
#include "ui/Form1.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace bench {

namespace {


// The monitor on port 1, a pseudo-terminal, started and ready for reports.
struct Monitor
{
    Monitor()
        : form(std::make_unique<serial::SerialPortBackend>(), [this](int) { return line.slavePath(); })
    {
        form.load();
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

} // namespace

std::vector<Figure> benchEndToEnd()
{
    Monitor monitor;
    auto* errorBits = monitor.form.findChild<QLabel*>(QStringLiteral("txt_ErrorBit"));

    // Report i carries i as its bit-error count, so the display names it.
    std::vector<std::atomic<double>> writtenAt(kNumberedReports + 1);
    std::vector<double> latencies;
    latencies.reserve(kNumberedReports);
    std::set<quint32> seen;
    // Connected after the window's own handler, so it runs once the displays
    // hold the new texts.
    QObject::connect(monitor.comm, &serial::CommControl::OnComm, &monitor.form, [&] {
        const double now = monotonicSeconds();
        const quint32 i = errorBits->text().toUInt();
        if (i == 0 || i > kNumberedReports || !seen.insert(i).second)
            return;
        latencies.push_back(now - writtenAt[i].load(std::memory_order_acquire));
    });

    std::atomic<bool> done = false;
    std::thread writer([&] {
        writeNumberedReports(monitor.line, writtenAt);
        done = true;
    });

    const double cpuStart = threadCpuSeconds();
    const double wallStart = monotonicSeconds();
    while (!done)
        monitor.runEventsFor(0.1);
    monitor.runEventsFor(0.2);
    const double cpuShare = (threadCpuSeconds() - cpuStart) / (monotonicSeconds() - wallStart);
    writer.join();

    const size_t received = latencies.size();
    const double median = quantile(latencies, 0.5);
    const double p99 = quantile(latencies, 0.99);
    const double worst = latencies.empty() ? NAN : latencies.back();
    const int lost = kNumberedReports - int(received);
    return {
        {QStringLiteral("End to end: latency median / p99 / max (%1 reports at 960/s)").arg(kNumberedReports),
         QStringLiteral("%1 / %2 / %3").arg(microseconds(median), microseconds(p99), microseconds(worst)),
         QStringLiteral("p99 < 1 ms"), p99 < 1e-3},
        {QStringLiteral("End to end: reports lost"), QString::number(lost), QStringLiteral("0"), lost == 0},
        {QStringLiteral("CPU while running at 960 reports/s (window thread)"),
         QString::number(cpuShare * 100, 'f', 2) + QStringLiteral(" %"), QStringLiteral("< 5 %"), cpuShare < 0.05},
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

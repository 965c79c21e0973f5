// Starts the monitor exactly as bermon does and prints, once the window has
// been painted for the first time, the monotonic clock and the peak resident
// memory, then ends. With `--device PATH`, port 1 is PATH instead, Start is
// pressed, and the monitor runs until it is signalled. The benchmark driver
// runs it as a child process.
#include "Measurement.h"
#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"
#include "ui/Form1.h"
#include "ui/Launch.h"

#include <QApplication>
#include <QPushButton>

#include <cstdio>
#include <ctime>

namespace {

class FirstPaint final : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            timespec ts{};
            clock_gettime(CLOCK_MONOTONIC, &ts);
            m_shownAt = ts.tv_sec + ts.tv_nsec / 1e9;
        }
        return false;
    }
    double m_shownAt = 0;
    bool m_seen = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--device") == 0) {
        const QString device = QString::fromLocal8Bit(argv[2]);
        const auto form = ui::launchMonitor(std::make_unique<serial::SerialPortBackend>(),
                                            [device](int port) { return port == 1 ? device : QString(); });
        form->findChild<QPushButton*>(QStringLiteral("cmd_start"))->click();
        return app.exec();
    }
    const auto form = ui::launchMonitor(std::make_unique<serial::SerialPortBackend>(), serial::systemPorts);
    FirstPaint probe;
    form->installEventFilter(&probe);
    app.exec();

    // Its own high-water mark: getrusage's ru_maxrss would not do, as Linux
    // carries it over an exec, so it would also hold what the benchmark had
    // resident when it forked the probe.
    std::printf("%.6f %.0f\n", probe.m_shownAt, bench::peakResidentKiB(QStringLiteral("self")));
    return 0;
}

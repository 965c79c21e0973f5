#include "Benches.h"
#include "Measurement.h"

#include "emulator/CounterReportEncoding.h"
#include "support/MemoryPortBackend.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QPushButton>

namespace bench {

namespace {

QByteArray reportWithCount(quint32 i)
{
    return emulator::encodeReport({quint16(i), 3, 2, i & 0xFFFF});
}

} // namespace

std::vector<Figure> benchReportPath()
{
    auto port = std::make_unique<serial::MemoryPortBackend>();
    serial::MemoryPortBackend* backend = port.get();
    ui::Form1 form(std::move(port), [](int n) { return QStringLiteral("mem%1").arg(n); });
    form.Form_Load();
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("cmd_start"))->click();
    QCoreApplication::processEvents();

    constexpr int kReports = 200'000;
    std::vector<QByteArray> reports;
    reports.reserve(kReports);
    for (int i = 0; i < kReports; ++i)
        reports.push_back(reportWithCount(quint32(i + 1)));

    // The handler alone: bytes in, eight displays and the hex line written.
    const double start = threadCpuSeconds();
    for (const QByteArray& report : reports)
        backend->deliver(report);
    const double handlerUs = (threadCpuSeconds() - start) / kReports * 1e6;

    // With the repaint that each report causes while the window is shown.
    constexpr int kPainted = 5'000;
    const double paintStart = threadCpuSeconds();
    for (int i = 0; i < kPainted; ++i) {
        backend->deliver(reports[size_t(i)]);
        QCoreApplication::processEvents();
    }
    const double paintedUs = (threadCpuSeconds() - paintStart) / kPainted * 1e6;

    constexpr double kWireUs = 12 * 10 / 115200.0 * 1e6; // 12 bytes of 10 bits
    auto share = [&](double us) { return QString::number(us / kWireUs * 100, 'f', 2) + QStringLiteral(" %"); };
    return {
        {QStringLiteral("Report path: CPU per accepted report (handler)"),
         QStringLiteral("%1 us (%2 of 1.042 ms)").arg(handlerUs, 0, 'f', 2).arg(share(handlerUs)),
         QStringLiteral("<= 10 us (< 1 %)"), handlerUs <= 10},
        {QStringLiteral("Report path: CPU per report with repaint (offscreen)"),
         QStringLiteral("%1 us (%2 of 1.042 ms)").arg(paintedUs, 0, 'f', 2).arg(share(paintedUs)),
         QStringLiteral("(information)"), true},
    };
}

} // namespace bench

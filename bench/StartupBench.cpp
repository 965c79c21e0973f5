#include "Benches.h"

#include <QProcess>
#include <QStringList>

namespace bench {

std::vector<Figure> benchStartup(const QString& probePath)
{
    constexpr int kRuns = 7;
    std::vector<double> startUps;
    std::vector<double> peaks;
    for (int run = 0; run < kRuns; ++run) {
        QProcess probe;
        const double launchedAt = monotonicSeconds();
        probe.start(probePath, {});
        if (!probe.waitForFinished(10'000) || probe.exitCode() != 0)
            return {{QStringLiteral("Start-up"), QStringLiteral("probe failed: ") + probe.errorString(), {}, false}};
        const QStringList fields = QString::fromLatin1(probe.readAllStandardOutput()).split(QLatin1Char(' '));
        if (fields.size() != 2)
            return {{QStringLiteral("Start-up"), QStringLiteral("probe printed nothing"), {}, false}};
        startUps.push_back(fields[0].toDouble() - launchedAt);
        peaks.push_back(fields[1].toDouble() / 1024.0); // kilobytes to megabytes
    }
    const double startUp = quantile(startUps, 0.5);
    const double peak = quantile(peaks, 1.0);
    return {
        {QStringLiteral("Start-up: process start to window shown (median of %1)").arg(kRuns),
         QString::number(startUp * 1000, 'f', 0) + QStringLiteral(" ms"), QStringLiteral("< 300 ms"), startUp < 0.3},
        {QStringLiteral("Start-up: peak resident memory"), QString::number(peak, 'f', 1) + QStringLiteral(" MB"),
         QStringLiteral("< 60 MB"), peak < 60},
    };
}

} // namespace bench

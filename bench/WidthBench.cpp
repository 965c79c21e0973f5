// How wide the error-performance pairs come out on one link, reported at
// several rates over a USB adapter's latency: the analysis alone, in process.

#include "Benches.h"

#include "emulator/LinkRun.h"
#include "measurement/ErrorPerformance.h"
#include "measurement/RunTotals.h"

#include <random>

namespace bench {

std::vector<Figure> benchErrorPerformanceWidths()
{
    // Ten minutes at 1000 frames a second, 2 % errored seconds and a 12 s outage.
    emulator::EmulatorSettings settings;
    settings.seed = 11;
    settings.link.frameRate = 1000;
    settings.link.bitErrorRate = 1e-9;
    settings.conditions.erroredSecondChance = 0.02;
    settings.conditions.erroredShare = 0.1;
    settings.conditions.outages = {{200, 12}};
    settings.overflow = emulator::CountOverflow::Wrap;
    std::vector<Figure> figures;
    for (const double perSecond : {10.0, 1.0, 0.2}) {
        const qint64 start = 1'800'000'000'437; // reports off the host's second boundaries
        emulator::LinkRun link(settings, start);
        // 115200 baud, counts taken up to 16 ms before the adapter sends them.
        measurement::ErrorPerformance performance(measurement::CounterModel::Wrap, {1.04, 20});
        measurement::RunTotals totals(measurement::CounterModel::Wrap);
        std::mt19937 random(3);
        for (qint64 ms = start; ms <= start + 600'000; ms += qint64(1000 / perSecond)) {
            const emulator::LinkCounts c = link.advanceTo(ms);
            const measurement::ReportCounts counts{c.recvFrame, c.lossFrame, c.errorFrame, c.errorBit};
            performance.add(ms + 2 + qint64(random() % 17), counts, totals.add(counts));
        }
        const measurement::ErrorPerformanceFigures f = performance.figures();
        const auto width = [](const measurement::Bounded& b) { return QString::number(b.most - b.least); };
        figures.push_back({QStringLiteral("error-performance widths (most less least) of ES, SES, unavailable "
                                          "seconds, %1 reports/s over 600 s")
                               .arg(perSecond),
                           QStringLiteral("%1, %2, %3 (ES %4)")
                               .arg(width(f.es), width(f.ses), width(f.unavailable), f.es.text()),
                           "(narrower is better)", true});
    }
    return figures;
}

} // namespace bench

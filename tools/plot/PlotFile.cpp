#include "PlotFile.h"

#include "util/OutputFile.h"
#include "charts/RunCharts.h"

#include <QImage>
#include <QSvgGenerator>

QString writePlot(const PlotOptions& options, QStringList& warnings)
{
    // A file that cannot be written is said before a day of rows is read.
    OutputFile out(options.output);
    if (!out.open())
        return out.error();
    RunDigests::Choice choice;
    choice.keep = options.run > 0 ? RunDigests::Keep::One : RunDigests::Keep::Every;
    choice.one = options.run;
    choice.columns = 2 * options.width; // at least one a pixel column, however the run grows
    choice.limits = options.limits;
    choice.override = true;
    RunDigests digests(choice);
    if (const QString error = digests.read(options.input, warnings); !error.isEmpty())
        return error;
    std::vector<const RunDigest*> runs;
    for (const auto& run : digests.runs())
        runs.push_back(run.get());
    if (options.run > 0 && runs.front()->reports() == 0)
        return QStringLiteral("--run %1: that run holds no report").arg(options.run);

    const ChartLayout layout{options.width, options.height, options.title, std::nullopt};
    const QRectF area(0, 0, options.width, options.height);
    if (options.output.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(out.device());
        svg.setSize(QSize(options.width, options.height));
        svg.setViewBox(area);
        svg.setTitle(chartsTitle(runs, layout));
        QPainter painter;
        if (!painter.begin(&svg)) {
            out.fail(QStringLiteral("cannot be written"));
            return out.error();
        }
        drawRunCharts(painter, area, runs, layout);
        painter.end();
        return out.commit() ? QString() : out.error();
    }
    QImage image(options.width, options.height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawRunCharts(painter, area, runs, layout);
    painter.end();
    if (!image.save(out.device(), "PNG")) {
        out.fail(QStringLiteral("cannot be written"));
        return out.error();
    }
    return out.commit() ? QString() : out.error();
}

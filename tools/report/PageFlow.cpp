#include "PageFlow.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QTextLayout>

namespace {

QFont sized(qreal pointSize, bool bold = false)
{
    QFont font;
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace

PageFlow::PageFlow(QPagedPaintDevice& device)
    : m_device(device)
    , m_body(sized(8))
    , m_small(sized(7))
    , m_bold(sized(8, true))
    , m_title(sized(16, true))
    , m_section(sized(11, true))
    , m_banner(sized(24, true))
{
    // The footer's line and the space above it.
    const qreal footer = points(7) * 1.4 + points(8);
    m_area = QRectF(0, 0, device.width(), device.height() - footer);
    m_pages.emplace_back();
}

PageFlow::~PageFlow() = default;

qreal PageFlow::points(qreal pt) const
{
    return pt * m_device.logicalDpiY() / 72.0;
}

std::shared_ptr<QTextLayout> PageFlow::layout(const QString& text, const QFont& font, qreal width) const
{
    auto layout = std::make_shared<QTextLayout>(text, font, &m_device);
    QTextOption option;
    // Long words, a hash or a path, break where they must.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->beginLayout();
    qreal y = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layout;
}

void PageFlow::reserve(qreal height)
{
    if (m_y > 0 && m_y + height > m_area.height())
        newPage();
}

void PageFlow::place(const std::shared_ptr<QTextLayout>& text, qreal x, qreal y, const QRectF& clip)
{
    m_pages.back().push_back([text, x, y, clip](QPainter& painter) {
        painter.save();
        painter.setClipRect(clip);
        text->draw(&painter, QPointF(x, y));
        painter.restore();
    });
}

void PageFlow::newPage()
{
    m_pages.emplace_back();
    m_y = 0;
}

void PageFlow::space(qreal pt)
{
    if (m_y > 0)
        m_y += points(pt);
}

void PageFlow::heading(const QString& text, int level, qreal keepWith)
{
    const QFont& font = level == 1 ? m_title : m_section;
    space(level == 1 ? 0 : 8);
    const auto laid = layout(text, font, m_area.width());
    const qreal height = laid->boundingRect().height();
    reserve(height + points(keepWith));
    place(laid, 0, m_y, m_area);
    m_y += height + points(3);
}

void PageFlow::paragraph(const QString& text, Style style)
{
    const QFont& font = style == Style::Small ? m_small : style == Style::Bold ? m_section : m_body;
    const auto laid = layout(text, font, m_area.width());
    const qreal height = std::min(laid->boundingRect().height(), m_area.height());
    reserve(height);
    place(laid, 0, m_y, QRectF(0, m_y, m_area.width(), height));
    m_y += height + points(2);
}

void PageFlow::table(const QStringList& header, const QList<QStringList>& rows, const QList<qreal>& shares,
                     bool oneLine)
{
    const qreal pad = points(1.5);
    qreal total = 0;
    for (const qreal share : shares)
        total += share;
    QList<qreal> widths;
    for (const qreal share : shares)
        widths << m_area.width() * share / total;
    const auto addRow = [&](const QStringList& cells, const QFont& font, bool rule) {
        std::vector<std::shared_ptr<QTextLayout>> laid;
        qreal height = 0;
        for (qsizetype c = 0; c < widths.size(); ++c) {
            QString text = c < cells.size() ? cells[c] : QString();
            if (oneLine)
                text = QFontMetricsF(font, &m_device).elidedText(text, Qt::ElideRight, widths[c] - 2 * pad);
            laid.push_back(layout(text, font, widths[c] - 2 * pad));
            height = std::max(height, laid.back()->boundingRect().height());
        }
        height = std::min(height + 2 * pad, m_area.height());
        const qreal top = m_y;
        qreal x = 0;
        for (qsizetype c = 0; c < widths.size(); ++c) {
            place(laid[size_t(c)], x + pad, top + pad, QRectF(x, top, widths[c], height));
            x += widths[c];
        }
        const qreal width = m_area.width();
        m_pages.back().push_back([top, height, width, rule](QPainter& painter) {
            painter.save();
            painter.setPen(QPen(rule ? QColor(60, 60, 60) : QColor(205, 205, 205), 0));
            painter.drawLine(QPointF(0, top + height), QPointF(width, top + height));
            painter.restore();
        });
        m_y += height;
        return height;
    };
    const auto headerHeight = [&] {
        qreal height = 0;
        for (qsizetype c = 0; c < widths.size() && c < header.size(); ++c)
            height = std::max(height, layout(header[c], m_bold, widths[c] - 2 * pad)->boundingRect().height());
        return height + 2 * pad;
    }();
    reserve(headerHeight * 3);
    if (!header.isEmpty())
        addRow(header, m_bold, true);
    for (const QStringList& row : rows) {
        qreal height = 0;
        for (qsizetype c = 0; c < widths.size() && c < row.size(); ++c)
            height = std::max(
                height,
                layout(oneLine ? QStringLiteral("X") : row[c], m_body, widths[c] - 2 * pad)->boundingRect().height());
        if (m_y + height + 2 * pad > m_area.height()) {
            newPage();
            if (!header.isEmpty())
                addRow(header, m_bold, true);
        }
        addRow(row, m_body, false);
    }
    m_y += points(4);
}

void PageFlow::banner(const QString& word, const QString& line, const QColor& colour, const QColor& tint)
{
    const qreal pad = points(6);
    const auto big = layout(word, m_banner, m_area.width() / 2);
    const qreal wordWidth = big->lineCount() > 0 ? big->lineAt(0).naturalTextWidth() : 0;
    const qreal lineX = pad * 2 + wordWidth + pad * 2;
    const auto small = layout(line, m_section, std::max<qreal>(m_area.width() - lineX - pad, points(40)));
    const qreal height = std::max(big->boundingRect().height(), small->boundingRect().height()) + 2 * pad;
    reserve(height);
    const QRectF band(0, m_y, m_area.width(), height);
    const qreal frame = points(2.5);
    m_pages.back().push_back([band, colour, tint, frame](QPainter& painter) {
        painter.save();
        painter.setPen(QPen(colour, frame));
        painter.setBrush(tint);
        painter.drawRect(band.adjusted(frame / 2, frame / 2, -frame / 2, -frame / 2));
        painter.restore();
    });
    place(big, pad * 2, m_y + (height - big->boundingRect().height()) / 2, band);
    place(small, lineX, m_y + (height - small->boundingRect().height()) / 2, band);
    m_y += height + points(4);
}

void PageFlow::formLines(const QStringList& roles, const QStringList& fields)
{
    const qreal labelWidth = m_area.width() * 0.16;
    const qreal gap = points(10);
    const qreal fieldWidth =
        (m_area.width() - labelWidth - gap * fields.size()) / std::max<qsizetype>(fields.size(), 1);
    const qreal writing = points(22); // room to write above each line
    const qreal caption = layout(QStringLiteral("X"), m_small, fieldWidth)->boundingRect().height();
    const qreal height = writing + caption + points(4);
    reserve(height * qreal(roles.size())); // a form is never cut across pages
    for (const QString& role : roles) {
        const auto label = layout(role, m_bold, labelWidth);
        const qreal rule = m_y + writing;
        place(label, 0, rule - label->boundingRect().height(), m_area);
        qreal x = labelWidth + gap;
        for (const QString& field : fields) {
            const QLineF line(x, rule, x + fieldWidth, rule);
            m_pages.back().push_back([line](QPainter& painter) {
                painter.save();
                painter.setPen(QPen(Qt::black, 0));
                painter.drawLine(line);
                painter.restore();
            });
            place(layout(field, m_small, fieldWidth), x, rule + points(1), m_area);
            x += fieldWidth + gap;
        }
        m_y += height;
    }
    m_y += points(4);
}

void PageFlow::drawing(std::function<void(QPainter&, const QRectF&)> draw)
{
    if (m_y > 0 || !m_pages.back().empty())
        newPage();
    const QRectF area = m_area;
    m_pages.back().push_back([draw, area](QPainter& painter) { draw(painter, area); });
    m_y = m_area.height(); // the page is full
}

bool PageFlow::render(QPainter& painter, const QString& name, const QString& tail)
{
    const int pages = pageCount();
    const QRectF foot(0, m_device.height() - points(7) * 1.4, m_device.width(), points(7) * 1.4);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !m_device.newPage())
            return false;
        for (const Op& op : m_pages[size_t(page)])
            op(painter);
        painter.save();
        painter.setPen(QPen(QColor(120, 120, 120), 0));
        painter.drawLine(QPointF(0, foot.top() - points(3)), QPointF(foot.width(), foot.top() - points(3)));
        // A hash is read and compared letter by letter: a fixed-width face draws
        // no "ff" as one glyph, as a text face may.
        QFont footFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        footFont.setPointSizeF(m_small.pointSizeF());
        painter.setFont(footFont);
        painter.setPen(Qt::black);
        const QString number = QStringLiteral("page %1 of %2").arg(page + 1).arg(pages);
        const QFontMetricsF metrics(footFont, &m_device);
        const qreal room = foot.width() - metrics.horizontalAdvance(number + tail) - points(12);
        painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         metrics.elidedText(name, Qt::ElideMiddle, std::max<qreal>(room, 0)) + tail);
        painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, number);
        painter.restore();
    }
    return true;
}

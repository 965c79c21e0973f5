#pragma once

#include <QFont>
#include <QList>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QTextLayout;

// Lays headings, paragraphs, tables and whole-page drawings out on the pages
// of a paged device, top to bottom, then draws them with a footer on each:
// the number of pages is known before the first is drawn.
class PageFlow
{
public:
    // `device` keeps its page layout while the flow lives.
    explicit PageFlow(QPagedPaintDevice& device);
    ~PageFlow();

    // Level 1: the title, 2: a section, kept on a page with at least
    // `keepWith` points of what follows.
    void heading(const QString& text, int level, qreal keepWith = 40);
    enum class Style { Body, Small, Bold };
    void paragraph(const QString& text, Style style = Style::Body);
    // A table with its columns' shares of the page's width. A cell's text
    // wraps; a table that reaches the foot of a page goes on with its header
    // on the next one. `oneLine`: each cell's text is cut to one line instead.
    void table(const QStringList& header, const QList<QStringList>& rows, const QList<qreal>& shares,
               bool oneLine = false);
    // A band across the page: `word` in large type, `line` beside it, on a
    // light `tint` within a frame of `colour`. Black type on a light tint
    // reads in black and white too.
    void banner(const QString& word, const QString& line, const QColor& colour, const QColor& tint);
    // A line to write on for each of `fields` (Name, Date, Signature) in a
    // row for each of `roles` (Tested by, Checked by), with the field's name under it.
    void formLines(const QStringList& roles, const QStringList& fields);
    void space(qreal points);
    void newPage();
    // A page of its own, drawn into the area above the footer.
    void drawing(std::function<void(QPainter&, const QRectF&)> draw);

    int pageCount() const { return int(m_pages.size()); }
    // Draws every page, each with `name`, shortened in the middle where it
    // must be, `tail` and "page n of m" at its foot.
    bool render(QPainter& painter, const QString& name, const QString& tail);

private:
    using Op = std::function<void(QPainter&)>;
    std::shared_ptr<QTextLayout> layout(const QString& text, const QFont& font, qreal width) const;
    qreal points(qreal pt) const;
    // Room for `height` more on this page, starting a new one if need be.
    void reserve(qreal height);
    void place(const std::shared_ptr<QTextLayout>& text, qreal x, qreal y, const QRectF& clip);

    QPagedPaintDevice& m_device;
    QFont m_body, m_small, m_bold, m_title, m_section, m_banner;
    QRectF m_area; // above the footer
    qreal m_y = 0;
    std::vector<std::vector<Op>> m_pages;
};

#include "charts/ColumnReducer.h"

#include <cmath>

ColumnReducer::ColumnReducer(int columns, bool logAxis)
    : m_maxColumns(std::max(2, columns))
    , m_logAxis(logAxis)
{
}

ColumnReducer ColumnReducer::latest(int columns, bool logAxis, double width)
{
    ColumnReducer reducer(columns, logAxis);
    reducer.m_width = width;
    reducer.m_fixed = true;
    return reducer;
}

double ColumnReducer::firstX() const
{
    return m_columns.empty() ? NAN : m_x0 + double(m_columns.front().index) * m_width;
}

void ColumnReducer::add(double x, double y)
{
    if (!std::isfinite(x))
        return;
    if (m_columns.empty())
        m_x0 = x;
    const bool drawable = std::isfinite(y) && (!m_logAxis || y > 0);
    const QPointF point(x, y);
    const auto indexOf = [&] { return qint64(std::floor((x - m_x0) / m_width)); };
    while (!m_columns.empty() && indexOf() - m_columns.front().index >= m_maxColumns) {
        if (m_fixed)
            m_columns.erase(m_columns.begin()); // seldom more than one
        else
            widen();
    }
    const qint64 index = indexOf();
    if (m_columns.empty() || m_columns.back().index != index)
        m_columns.push_back({index, false, {}, {}, {}, {}});
    Column& column = m_columns.back();
    if (!drawable)
        return;
    if (!column.drawable) {
        column = {index, true, point, point, point, point};
        return;
    }
    if (y < column.low.y())
        column.low = point;
    if (y > column.high.y())
        column.high = point;
    column.last = point;
}

void ColumnReducer::widen()
{
    m_width *= 2;
    size_t kept = 0;
    for (Column& column : m_columns) {
        column.index /= 2; // never below 0: x never below the first
        if (kept > 0 && m_columns[kept - 1].index == column.index) {
            Column& into = m_columns[kept - 1];
            if (!into.drawable) {
                into = column;
            } else if (column.drawable) {
                if (column.low.y() < into.low.y())
                    into.low = column.low;
                if (column.high.y() > into.high.y())
                    into.high = column.high;
                into.last = column.last;
            }
        } else {
            m_columns[kept++] = column;
        }
    }
    m_columns.resize(kept);
}

QList<QList<QPointF>> ColumnReducer::stretches() const
{
    QList<QList<QPointF>> out;
    bool open = false;
    for (const Column& column : m_columns) {
        if (!column.drawable) {
            open = false;
            continue;
        }
        if (!open)
            out.emplace_back();
        open = true;
        QList<QPointF>& stretch = out.last();
        const bool lowFirst = column.low.x() <= column.high.x();
        for (const QPointF& p :
             {column.first, lowFirst ? column.low : column.high, lowFirst ? column.high : column.low, column.last})
            if (stretch.isEmpty() || stretch.last() != p)
                stretch << p;
    }
    return out;
}

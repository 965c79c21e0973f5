#pragma once

#include <QList>
#include <QPointF>

#include <vector>

// A curve taken in point by point, in order along x, and kept as at most the
// first, lowest, highest and last point of each of about `columns` equal
// columns of the span seen so far: a day of reports takes the memory of a
// minute, and no peak is lost. The columns widen, two into one, as the span
// grows, so the span need not be known in advance.
class ColumnReducer
{
public:
    // `logAxis`: a value not above 0 cannot be drawn, as one that is not finite cannot.
    ColumnReducer(int columns, bool logAxis);
    // Columns of a fixed width instead, the oldest given up as new ones come:
    // the latest `columns` x `width` of the curve, at a resolution that stays.
    static ColumnReducer latest(int columns, bool logAxis, double width);

    // The next point; x never below the one before.
    void add(double x, double y);

    // The stretches that can be drawn: a column with no drawable point in it
    // ends a stretch; a gap within one column is too narrow to be seen.
    QList<QList<QPointF>> stretches() const;
    bool empty() const { return m_columns.empty(); }
    // The x where the columns kept begin; NaN when there are none.
    double firstX() const;

private:
    struct Column
    {
        qint64 index = 0;
        bool drawable = false;
        QPointF first, low, high, last; // of the drawable points
    };
    void widen();

    int m_maxColumns;
    bool m_logAxis;
    double m_x0 = 0;
    double m_width = 1e-3; // of a column, in x
    bool m_fixed = false;
    std::vector<Column> m_columns;
};

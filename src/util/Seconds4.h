#pragma once

#include <QtGlobal>

namespace util {

// A signed number of seconds with four decimal places, held exactly as a
// count of ten-thousandths of a second. The smallest positive value is
// 0.0001 s.
class Seconds4 {
public:
    static constexpr qint64 kTenThousandthsPerSecond = 10000;

    constexpr Seconds4() = default;

    static constexpr Seconds4 fromTenThousandths(qint64 count)
    {
        Seconds4 seconds;
        seconds.m_tenThousandths = count;
        return seconds;
    }

    constexpr qint64 tenThousandths() const { return m_tenThousandths; }

    constexpr double toSeconds() const
    {
        return static_cast<double>(m_tenThousandths) / kTenThousandthsPerSecond;
    }

private:
    qint64 m_tenThousandths = 0;
};

} // namespace util

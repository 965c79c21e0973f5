#include "UnframedBytes.h"

#include <algorithm>

bool UnframedBytes::add(const QByteArray& bytes, const QDateTime& now)
{
    if (bytes.isEmpty())
        return false;
    m_total += quint64(bytes.size());
    if (m_gathered == 0)
        m_since = now;
    m_gathered += quint64(bytes.size());
    m_head += bytes.first(std::min(bytes.size(), kShownBytes - m_head.size()));
    return rowDueInMs(now) == 0;
}

qint64 UnframedBytes::rowDueInMs(const QDateTime& now) const
{
    if (!m_lastRow.isValid())
        return 0;
    return std::max<qint64>(0, kRowSpacingMs - m_lastRow.msecsTo(now));
}

std::optional<QString> UnframedBytes::takeRow(const QDateTime& now)
{
    if (m_gathered == 0)
        return std::nullopt;
    QString detail = QStringLiteral("%1 %2 since %3: %4")
                         .arg(m_gathered)
                         .arg(m_gathered == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"))
                         .arg(m_since.toString(Qt::ISODateWithMs), QString::fromLatin1(m_head.toHex(' ').toUpper()));
    if (m_gathered > quint64(m_head.size()))
        detail += QStringLiteral(" ...");
    m_gathered = 0;
    m_head.clear();
    m_lastRow = now;
    return detail;
}

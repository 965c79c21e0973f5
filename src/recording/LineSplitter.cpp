#include "recording/LineSplitter.h"

bool LineSplitter::add(QByteArrayView piece, const std::function<bool(const QByteArray& line)>& take)
{
    qsizetype from = 0;
    for (qsizetype end = piece.indexOf('\n'); end >= 0; end = piece.indexOf('\n', from)) {
        if (m_pending.size() + (end - from) > kMaxLineBytes)
            break;
        bool going = true;
        if (m_pending.isEmpty()) {
            going = take(QByteArray::fromRawData(piece.data() + from, end - from));
        } else {
            m_pending.append(piece.data() + from, end - from);
            going = take(m_pending);
            m_pending.clear();
        }
        from = end + 1;
        if (!going)
            return false;
    }
    // What is left holds no newline, or a line too long before it.
    if (m_pending.size() + (piece.size() - from) > kMaxLineBytes) {
        m_tooLong = true;
        return false;
    }
    m_pending.append(piece.data() + from, piece.size() - from);
    return true;
}

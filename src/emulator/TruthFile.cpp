#include "emulator/TruthFile.h"

namespace emulator {

bool TruthFile::open(const QString& path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return write({});
}

bool TruthFile::write(const std::vector<SecondTruth>& seconds)
{
    QByteArray text = m_file.pos() == 0 ? truthCsvHeader() : QByteArray();
    for (const SecondTruth& second : seconds)
        text += truthCsvLine(second);
    return m_file.write(text) == text.size() && m_file.flush();
}

} // namespace emulator

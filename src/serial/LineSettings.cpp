#include "serial/LineSettings.h"

#include "serial/PortError.h"

#include <algorithm>
#include <array>

namespace serial {

namespace {

constexpr std::array<qint32, 16> kBaudRates = {110,   300,   600,   1200,  2400,  4800,   9600,   14400,
                                               19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};

struct ParityCode
{
    QChar code;
    QSerialPort::Parity parity;
};

constexpr std::array<ParityCode, 5> kParities = {{
    {u'n', QSerialPort::NoParity},
    {u'e', QSerialPort::EvenParity},
    {u'o', QSerialPort::OddParity},
    {u'm', QSerialPort::MarkParity},
    {u's', QSerialPort::SpaceParity},
}};

[[noreturn]] void reject(const QString& text, const QString& why)
{
    throw PortError(QStringLiteral("Invalid line settings \"%1\": %2").arg(text, why));
}

} // namespace

LineSettings LineSettings::parse(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        reject(text, QStringLiteral("expected baud,parity,data bits,stop bits"));

    LineSettings settings;
    bool ok = false;
    settings.baudRate = fields[0].trimmed().toInt(&ok);
    if (!ok || std::find(kBaudRates.begin(), kBaudRates.end(), settings.baudRate) == kBaudRates.end())
        reject(text, QStringLiteral("unsupported baud rate \"%1\"").arg(fields[0]));

    const QString parity = fields[1].trimmed().toLower();
    const auto match = std::find_if(kParities.begin(), kParities.end(),
                                    [&](const ParityCode& p) { return parity.size() == 1 && parity[0] == p.code; });
    if (match == kParities.end())
        reject(text, QStringLiteral("unsupported parity \"%1\"").arg(fields[1]));
    settings.parity = match->parity;

    const int dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        reject(text, QStringLiteral("unsupported data bits \"%1\"").arg(fields[2]));
    settings.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1"))
        settings.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        settings.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        settings.stopBits = QSerialPort::TwoStop;
    else
        reject(text, QStringLiteral("unsupported stop bits \"%1\"").arg(fields[3]));
    return settings;
}

QString LineSettings::text() const
{
    QChar parityCode = u'n';
    for (const ParityCode& p : kParities) {
        if (p.parity == parity)
            parityCode = p.code;
    }
    const QString stop = stopBits == QSerialPort::OneStop          ? QStringLiteral("1")
                         : stopBits == QSerialPort::OneAndHalfStop ? QStringLiteral("1.5")
                                                                   : QStringLiteral("2");
    return QStringLiteral("%1,%2,%3,%4").arg(baudRate).arg(parityCode).arg(int(dataBits)).arg(stop);
}

} // namespace serial

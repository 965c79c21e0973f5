#include "serial/LineSettings.h"

#include "serial/PortError.h"

#include <algorithm>
#include <array>

namespace serial {

namespace {

[[noreturn]] void reject(const QString& text, const QString& why)
{
    throw PortError(QStringLiteral("Invalid line settings \"%1\": %2").arg(text, why));
}

} // namespace

QString baudRatesText()
{
    QStringList rates;
    for (const qint32 baud : kBaudRates)
        rates << QString::number(baud);
    const QString last = rates.takeLast();
    return rates.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

bool isBaudRate(qint64 baud)
{
    return std::find(kBaudRates.begin(), kBaudRates.end(), baud) != kBaudRates.end();
}

LineSettings LineSettings::parse(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        reject(text, QStringLiteral("expected baud,parity,data bits,stop bits"));

    LineSettings settings;
    bool ok = false;
    settings.baudRate = fields[0].trimmed().toInt(&ok);
    if (!ok || !isBaudRate(settings.baudRate))
        reject(text, QStringLiteral("unsupported baud rate \"%1\"").arg(fields[0]));

    // The baud list's texts are all "<baud>,n,8,1": nothing asks for other line settings.
    if (fields[1].trimmed().toLower() != QLatin1String("n"))
        reject(text, QStringLiteral("unsupported parity \"%1\"").arg(fields[1]));
    if (fields[2].trimmed() != QLatin1String("8"))
        reject(text, QStringLiteral("unsupported data bits \"%1\"").arg(fields[2]));
    if (fields[3].trimmed() != QLatin1String("1"))
        reject(text, QStringLiteral("unsupported stop bits \"%1\"").arg(fields[3]));
    return settings;
}

QString LineSettings::text() const
{
    return QStringLiteral("%1,n,8,1").arg(baudRate);
}

} // namespace serial

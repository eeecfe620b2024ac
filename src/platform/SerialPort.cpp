#include "SerialPort.h"

#include <QStringList>

namespace platform {

QString SerialPort::openFailureReason(const QString &portName) const
{
    const QString text = lastFault().description;
    return text.isEmpty() ? QString() : portName + QStringLiteral(": ") + text;
}

bool LineSettings::parse(const QString &text, LineSettings &out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0)
        return false;
    const QString parity = parts[1].trimmed();
    if (parity.size() != 1 || !QStringLiteral("NOEMS").contains(parity[0]))
        return false;
    const int data = parts[2].trimmed().toInt(&ok);
    if (!ok || data < 5 || data > 8)
        return false;
    const QString stop = parts[3].trimmed();
    if (stop != QLatin1String("1") && stop != QLatin1String("1.5") && stop != QLatin1String("2"))
        return false;
    out.baud = baud;
    out.parity = char(parity[0].toLatin1());
    out.dataBits = data;
    out.stopBits = stop;
    return true;
}

} // namespace platform

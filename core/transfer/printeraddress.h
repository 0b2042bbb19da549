#pragma once

#include <QString>

#include <optional>

// Which printer, and where it listens: what a row, a target and a result share.
// A serial printer has port 0 and its port's name as the address.
struct PrinterAddress
{
    QString name;
    QString address; // an IP address or a host name
    quint16 port = 0;
};

// The TCP port a printer entry's port text names: decimal digits only, 1 to
// 65535. Anything else names no port, and the entry is not connected.
inline std::optional<quint16> tcpPortOf(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    bool number = false;
    const uint port = digits.toUInt(&number);
    if (!number || port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

#pragma once

#include <QString>

// Which printer, and where it listens: what a row, a target and a result share.
// A serial printer has port 0 and its port's name as the address.
struct PrinterAddress
{
    QString name;
    QString address; // an IP address or a host name
    quint16 port = 0;
};

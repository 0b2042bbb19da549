#include "core/config/comports.h"

#include <QSerialPortInfo>

QList<ComPort> availableComPorts()
{
    QList<ComPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.systemLocation()});
    return ports;
}

#pragma once

#include <QList>
#include <QString>

#include <functional>

// One serial port the settings dialog can offer: the name shown (and stored in
// settings.txt) and the device the port object is pointed at.
struct ComPort
{
    QString portName;
    QString systemLocation;
};

// The ports found on the machine. QSerialPortInfo cannot describe a device the
// system does not list (a pseudo-terminal, say), so the dialog takes its ports
// through this seam.
using ComPortFinder = std::function<QList<ComPort>()>;
QList<ComPort> availableComPorts();

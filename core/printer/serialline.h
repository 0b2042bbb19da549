#pragma once

#include <QByteArray>
#include <QString>

class QSerialPort;

// The printer's serial line, as both the window and kelm-logo drive it.

// Names the port and sets the line: 9600 baud, 8 data bits, no parity, one stop
// bit, no flow control. Set before opening, the settings apply on open.
void setUpPrinterPort(QSerialPort &port, const QString &name);
// setUpPrinterPort, then opens the port for reading and writing.
bool openPrinterPort(QSerialPort &port, const QString &name);
// Writes one frame and pushes it out at once rather than on the next pass of
// the event loop. False when the port took less than the whole frame.
bool writeFrame(QSerialPort &port, const QByteArray &frame);

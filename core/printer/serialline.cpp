#include "core/printer/serialline.h"

#include <QSerialPort>

namespace {

// Only the answer byte matters: the port holds no more than this, and the
// kernel keeps the rest until it is read.
constexpr qint64 readBufferSize = 4096;

} // namespace

void setUpPrinterPort(QSerialPort &port, const QString &name)
{
    port.setPortName(name);
    port.setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setReadBufferSize(readBufferSize);
}

bool openPrinterPort(QSerialPort &port, const QString &name)
{
    setUpPrinterPort(port, name);
    return port.open(QIODevice::ReadWrite);
}

bool writeFrame(QSerialPort &port, const QByteArray &frame)
{
    const bool whole = port.write(frame) == frame.size();
    port.flush();
    return whole;
}

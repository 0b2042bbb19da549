// A serial printer that goes away (unplugged, or its adapter removed): the port
// is closed so that the status line tells it and the program stops polling it.
#include "ui/mainwindow/mainwindow.h"

#include "core/product.h"
#include <QTimer>

void MainWindow::serialPortError(QSerialPort::SerialPortError error)
{
    // Read and write errors on an open port come from the device itself; left
    // open, the port would report readable again at once, for ever.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    // Not closed from inside the port's own notification.
    QTimer::singleShot(0, this, &MainWindow::dropGoneSerialPort);
}

void MainWindow::dropGoneSerialPort()
{
    QSerialPort *port = linkSettings.serialPort;
    if (!port->isOpen())
        return;
    port->close();
    linkSettings.comPortOpen = false;
    // A transfer in progress ends as on "Przerwij"; no answer can come any more.
    const bool sending = currentLine >= 1 && currentLine <= lineCount;
    if (sending) {
        cancel();
        currentLine = lineCount + 1;
    }
    QString text =
        QStringLiteral("Port %1 drukarki został odłączony.").arg(linkSettings.comPortName);
    if (sending)
        text += QStringLiteral(" Logo nie zostało wysłane w całości.");
    notifySerial(productName(), text);
}

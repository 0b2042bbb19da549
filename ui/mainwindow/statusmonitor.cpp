// The status line that follows the link once a second, and dropping the link.
#include "ui/mainwindow/mainwindow.h"

#include <QLabel>
#include <QSerialPort>
#include <QTcpSocket>

namespace {

bool isConnected(const QTcpSocket *socket)
{
    return socket->state() == QAbstractSocket::ConnectedState;
}

} // namespace

void MainWindow::InterwalCzasowy()
{
    const LinkSettings &s = linkSettings;
    if (s.linkMode == 2) {
        const int entries =
            std::min({s.printerCount, int(s.printerSelected.size()), int(s.tcpSockets.size())});
        int connected = 0;
        for (int i = 0; i < entries; ++i) {
            if (s.printerSelected.at(i) && isConnected(s.tcpSockets.at(i)))
                ++connected;
        }
        statusLabel->setText(
            connected > 0 ? QStringLiteral("Podłączono TCP/IP do %1 drukarek.").arg(connected)
                          : QStringLiteral("Połączenie TCP/IP: brak"));
    } else if (s.linkMode == 1) {
        if (s.comPortOpen) {
            statusLabel->setStyleSheet(QStringLiteral("color: green"));
            statusLabel->setText(
                QStringLiteral("Drukarka podłączona do portu %1.").arg(s.comPortName));
        } else {
            statusLabel->setStyleSheet(QStringLiteral("color: red"));
            statusLabel->setText(QStringLiteral("Nie otwarty port %1.").arg(s.comPortName));
        }
    }
}

void MainWindow::closeLink()
{
    if (linkSettings.linkMode == 1) {
        linkSettings.serialPort->close();
        linkSettings.comPortOpen = false;
    }
    if (linkSettings.linkMode == 2)
        disconnectTcpPrinters();
    statusLabel->setStyleSheet(QStringLiteral("color: green"));
    statusLabel->setText(QStringLiteral("Drukarka niepodłączona"));
}

void MainWindow::disconnectTcpPrinters()
{
    const int entries = std::min(linkSettings.printerCount, int(linkSettings.tcpSockets.size()));
    for (int i = 0; i < entries; ++i) {
        QTcpSocket *socket = linkSettings.tcpSockets.at(i);
        switch (socket->state()) {
        case QAbstractSocket::UnconnectedState:
        case QAbstractSocket::ClosingState:
            break;
        case QAbstractSocket::ConnectedState:
            socket->disconnectFromHost();
            break;
        default:
            // Still on its way: disconnectFromHost would only close it once it has
            // connected, and a send in between would program the printer.
            socket->abort();
            break;
        }
    }
}

// "&Ustawienia": the settings window run in a loop, so that after "Połącz" and
// "Rozłącz" the operator watches the printers' sockets change state.
#include "ui/mainwindow/mainwindow.h"

#include "ui/settings/connectdialog.h"
#include "core/transfer/connection.h"

#include <QSet>
#include <QTcpSocket>

#include <memory>

void MainWindow::settings()
{
    for (;;) {
        const QList<QTcpSocket *> socketsBefore = linkSettings.tcpSockets;
        auto dialog = std::make_unique<ConnectDialog>(&linkSettings, notifier, findComPorts, this);
        const int result = dialog->exec();
        const int action = dialog->requestedAction;
        const QList<QTcpSocket *> added = dialog->addedSockets();
        dialog.reset();
        releaseDroppedSockets(socketsBefore, added);

        if (result == 1) {
            if (linkSettings.linkMode == 1)
                disconnectTcpPrinters();
            linkSettings.printerCount = linkSettings.tcpSockets.size();
            enableSendIfReady();
            if (linkSettings.linkMode != 0)
                break;
        }
        if (action == 1) {
            linkSettings.printerCount = linkSettings.tcpSockets.size();
            openLink();
        } else if (action == 2) {
            linkSettings.printerCount = linkSettings.tcpSockets.size();
            closeLink();
        } else {
            break;
        }
    }
    linkSettings.printerCount = linkSettings.tcpSockets.size();
    saveSettings();
}

void MainWindow::releaseDroppedSockets(const QList<QTcpSocket *> &before,
                                       const QList<QTcpSocket *> &added)
{
    // A connection still drives the socket of a deleted entry until the link is
    // rebuilt; releasing the connections releases such sockets too.
    QSet<QTcpSocket *> kept(linkSettings.tcpSockets.begin(), linkSettings.tcpSockets.end());
    for (const Connection *connection : qAsConst(connections))
        kept.insert(connection->tcpSocket());
    QSet<QTcpSocket *> dropped;
    for (QTcpSocket *socket : before + added) {
        if (!kept.contains(socket))
            dropped.insert(socket);
    }
    // Not inside any of their signals here, and nothing else refers to them.
    qDeleteAll(dropped);
}

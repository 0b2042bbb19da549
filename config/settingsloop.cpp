// "&Ustawienia": the settings window run in a loop, so that after "Połącz" and
// "Rozłącz" the operator watches the printers' sockets change state.
#include "app/mainwindow.h"

#include "config/connectdialog.h"

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
            const bool rebuildsConnections = linkSettings.linkMode == 2;
            openLink();
            if (rebuildsConnections)
                buryReleasedSockets();
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
    // Added in the dialog but not kept: nothing else ever saw these.
    for (QTcpSocket *socket : added) {
        if (!linkSettings.tcpSockets.contains(socket))
            delete socket;
    }
    // Entries deleted in the dialog: the connections built with these sockets
    // still write to them until the next rebuild.
    for (QTcpSocket *socket : before) {
        if (!linkSettings.tcpSockets.contains(socket)) {
            if (connections.isEmpty())
                delete socket;
            else
                releasedSockets.append(socket);
        }
    }
}

void MainWindow::buryReleasedSockets()
{
    // The connections that used them were released by the rebuild, perhaps
    // deferred: these go after them. The window deletes any left at exit.
    for (QTcpSocket *socket : qAsConst(releasedSockets)) {
        socket->setParent(this);
        socket->deleteLater();
    }
    releasedSockets.clear();
}

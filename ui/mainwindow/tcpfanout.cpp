// The TCP/IP link: one socket and one Connection per printer entry, every ticked
// printer programmed at once under the progress dialog.
#include "ui/mainwindow/mainwindow.h"

#include "core/product.h"
#include "ui/messageboxnotifier.h"
#include "core/transfer/connection.h"
#include "core/system/filedescriptors.h"
#include "core/transfer/connectattempts.h"
#include "core/transfer/failedretry.h"
#include "core/transfer/printeroutcome.h"
#include "ui/progress/tcpprogressdialog.h"

#include <QHostAddress>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

bool isConnected(const QTcpSocket *socket)
{
    return socket && socket->state() == QAbstractSocket::ConnectedState;
}

// A ticked printer that is not connected: its connection's failure, if the
// link's opening failed, so that "Ponów nieudane" tries it again.
PrinterOutcome notStarted(const QTcpSocket *socket)
{
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        if (socket->error() == QAbstractSocket::ConnectionRefusedError)
            return PrinterOutcome::Refused;
        if (socket->error() == QAbstractSocket::HostNotFoundError)
            return PrinterOutcome::HostNotFound;
    }
    return PrinterOutcome::NotConnected;
}

} // namespace

Notifier *MainWindow::connectionNotifier()
{
    if (!ownNotifier)
        return notifier;
    if (!ownConnectionNotifier)
        ownConnectionNotifier.reset(new MessageBoxNotifier);
    return ownConnectionNotifier.get();
}

void MainWindow::releaseTcpPrinters(Release when)
{
    // The sockets of entries removed in the settings dialog are no longer in
    // tcpSockets, but their connections still hold them.
    QSet<QTcpSocket *> sockets;
    for (QTcpSocket *socket : qAsConst(linkSettings.tcpSockets))
        sockets.insert(socket);
    for (Connection *connection : qAsConst(connections)) {
        if (QTcpSocket *socket = connection->tcpSocket())
            sockets.insert(socket);
        connection->disconnect();
    }
    // Cut from everything first: signals still queued or raised by the closing
    // must reach nothing once the objects go.
    for (QTcpSocket *socket : qAsConst(sockets)) {
        socket->disconnect();
        socket->abort();
    }
    for (Connection *connection : qAsConst(connections)) {
        if (when == Release::Now)
            delete connection;
        else
            connection->deleteLater();
    }
    for (QTcpSocket *socket : qAsConst(sockets)) {
        if (when == Release::Now)
            delete socket;
        else
            socket->deleteLater();
    }
    connections.clear();
    linkSettings.tcpSockets.clear();
}

void MainWindow::openTcpLink()
{
    releaseTcpPrinters(Release::Later);
    LinkSettings &s = linkSettings;
    if (s.printerCount < 1)
        return;
    const int known = std::min({s.printerCount, int(s.printerSelected.size()),
                                int(s.printerIps.size()), int(s.printerPorts.size())});
    // Every connected printer takes a descriptor; some stay for the display
    // connection, files and the serial port. Printers beyond them stay unconnected.
    int descriptors = spareFileDescriptors() - 64;
    int ticked = 0, unconnected = 0;
    QList<QPair<QPointer<QTcpSocket>, QString>> connecting;
    for (int i = 0; i < s.printerCount; ++i) {
        auto *socket = new QTcpSocket;
        s.tcpSockets.append(socket);
        auto *connection = new Connection(socket, lineCount, connectionNotifier());
        connections.append(connection);
        if (i >= known)
            continue;
        // A port stored as typed ("-1", "70000", "80a") names no printer: that
        // entry is never connected, rather than some other port programmed.
        const std::optional<quint16> port = tcpPortOf(s.printerPorts.at(i));
        connection->setPrinter(s.printerNames.value(i), s.printerIps.at(i), port.value_or(0));
        if (!s.printerSelected.at(i) || !port)
            continue;
        ++ticked;
        if (descriptors-- > 0) {
            // Unbuffered: a frame goes straight to the kernel, without a copy into
            // Qt's buffer and a write notifier turned on and off for every frame.
            socket->connectToHost(QHostAddress(s.printerIps.at(i)), *port,
                                  QIODevice::ReadWrite | QIODevice::Unbuffered);
            const QString where = QStringLiteral("%1:%2").arg(s.printerIps.at(i)).arg(*port);
            const QString name = s.printerNames.value(i);
            connecting.append(
                {socket, name.isEmpty() ? where : QStringLiteral("„%1” (%2)").arg(name, where)});
        } else {
            ++unconnected;
        }
    }
    // A printer behind a full accept queue never answers the handshake, and the
    // kernel gives up only after minutes, with a box for each printer.
    if (connectTimeoutMs > 0 && !connecting.isEmpty())
        QTimer::singleShot(connectTimeoutMs, this,
                           [this, connecting] { giveUpConnecting(connecting); });
    if (unconnected > 0)
        notifier->critical(productName(),
                           QStringLiteral("Nie połączono %1 z %2 zaznaczonych drukarek: system "
                                          "pozwala programowi otworzyć naraz najwyżej %3 plików "
                                          "i połączeń.")
                               .arg(unconnected)
                               .arg(ticked)
                               .arg(openFileLimit()));
    statusLabel->setStyleSheet(QStringLiteral("color: green"));
    enableSendIfReady();
}

void MainWindow::giveUpConnecting(const QList<QPair<QPointer<QTcpSocket>, QString>> &sockets)
{
    // Sockets of a link rebuilt since are gone or closed; one that "Ponów
    // nieudane" connects anew keeps the retry's own time-out.
    QStringList late;
    for (const auto &entry : sockets) {
        QTcpSocket *socket = entry.first;
        if (!socket || ConnectAttempts::isAttempting(socket) ||
            (socket->state() != QAbstractSocket::HostLookupState &&
             socket->state() != QAbstractSocket::ConnectingState))
            continue;
        socket->abort();
        late.append(entry.second);
    }
    if (late.isEmpty())
        return;
    Notice notice{
        Notice::Critical, productName(),
        QStringLiteral("Nie połączono w ciągu %1 s z %2 %3.")
            .arg(QString::number(connectTimeoutMs / 1000.0, 'g', 3))
            .arg(late.size())
            .arg(late.size() == 1 ? QStringLiteral("drukarką") : QStringLiteral("drukarkami")),
        Notice::Close};
    notice.detailedText = late.join(QLatin1Char('\n'));
    notifier->show(notice);
}

void MainWindow::startTcpPrinters()
{
    const LinkSettings &s = linkSettings;
    const int count = std::min({s.printerCount, int(connections.size()), int(s.tcpSockets.size()),
                                int(s.printerSelected.size())});
    for (int j = 0; j < count; ++j) {
        Connection *connection = connections.at(j);
        connection->setCurrentLine(1);
        connection->setLineCount(lineCount);
        connection->setTransferData(&logoHex, frameTemplate);
        // Entries removed since the link was built shift the lists: a
        // connection is started only for the entry whose socket it drives.
        QTcpSocket *socket = s.tcpSockets.at(j);
        if (connection->tcpSocket() != socket)
            continue;
        // A silent printer is flagged in its row and keeps its chance to answer.
        connection->setAnswerTimeout(answerTimeoutMs, false);
        if (!s.printerSelected.at(j))
            connection->setOutcome(PrinterOutcome::NotTakingPart);
        else if (!tcpPortOf(s.printerPorts.value(j)))
            connection->setOutcome(PrinterOutcome::BadPort);
        else if (isConnected(socket))
            connection->sendLine();
        else
            connection->setOutcome(notStarted(socket));
    }
    // Connections left over from removed entries belong to no row of this send.
    for (int j = count; j < connections.size(); ++j)
        connections.at(j)->cancelSend();
}

void MainWindow::runTcpProgress()
{
    const LinkSettings &s = linkSettings;
    const int entries = std::min(s.printerCount, int(s.printerSelected.size()));
    const int selected = int(std::count(s.printerSelected.begin(),
                                        s.printerSelected.begin() + std::max(entries, 0), true));
    if (s.printerCount < 1 || selected == 0) {
        notifier->critical(productName(),
                           QStringLiteral("Brak aktywnych połączeń."));
        return;
    }

    std::unique_ptr<TcpProgressDialog> dialog(new TcpProgressDialog(&linkSettings));
    TcpProgressDialog *d = dialog.get();
    d->setNotifier(notifier);
    d->retrier->setConnectTimeout(connectTimeoutMs);
    for (QProgressBar *bar : qAsConst(d->progressBars))
        bar->setMaximum(lineCount);
    const int count = std::min({s.printerCount, int(connections.size()), int(s.tcpSockets.size()),
                                int(d->progressBars.size())});
    for (int j = 0; j < count; ++j) {
        Connection *connection = connections.at(j);
        if (connection->tcpSocket() != s.tcpSockets.at(j))
            continue;
        d->track(j, connection);
        // Every end, a retry's too, goes in the journal while the dialog is up.
        connect(connection, &Connection::outcomeChanged, d,
                [this, connection, name = s.printerNames.value(j), ip = s.printerIps.value(j),
                 port = tcpPortOf(s.printerPorts.value(j)).value_or(0)] {
                    // Only printers that were tried: not the unticked, the
                    // unconnected or those whose port names no printer.
                    const PrinterOutcome o = connection->outcome();
                    if (hasEnded(o) && o != PrinterOutcome::NotTakingPart &&
                        o != PrinterOutcome::NotConnected && o != PrinterOutcome::BadPort)
                        journalEnd(name, ip, port, o, connection->rowsSent());
                });
        connect(d->cancelButtons.at(j), SIGNAL(clicked()), connection, SLOT(cancelSend()));
        connect(d->cancelAllButton, SIGNAL(clicked()), connection, SLOT(cancelSend()));
    }
    d->exec();
}

void MainWindow::cancelTcpPrinters()
{
    // Every printer still connected ends on its next answer.
    for (Connection *connection : qAsConst(connections)) {
        if (isConnected(connection->tcpSocket()))
            connection->setCurrentLine(currentLine);
    }
}

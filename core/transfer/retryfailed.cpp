#include "core/transfer/retryfailed.h"

#include "core/transfer/connection.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QVariant>

#include <memory>
#include <vector>

namespace {

// Which restart of a Connection is the current one: a late look at an earlier
// one must leave a newer one alone.
const char restartProperty[] = "kelmRestart";

} // namespace

QList<int> retryFailed(const QList<RetryTarget> &targets)
{
    QList<int> tried;
    for (int i = 0; i < targets.size(); ++i) {
        const RetryTarget &target = targets.at(i);
        if (!target.connection || !isFailure(target.connection->outcome()))
            continue;
        restartOnNewConnection(target.connection, target.address, target.port);
        tried.append(i);
    }
    return tried;
}

void restartOnNewConnection(Connection *connection, const QString &address, quint16 port)
{
    QTcpSocket *socket = connection->tcpSocket();
    if (!socket)
        return;
    // A line that hung up, or one still carrying half a logo, is not reused: the
    // printer starts the logo afresh on a new connection.
    socket->abort();
    connection->setOutcome(PrinterOutcome::Waiting);
    const int attempt = connection->property(restartProperty).toInt() + 1;
    connection->setProperty(restartProperty, attempt);

    // Wired for this one attempt: it ends with the line up or with the line gone.
    auto wiring = std::make_shared<std::vector<QMetaObject::Connection>>();
    const auto unwire = [wiring] {
        for (const QMetaObject::Connection &wire : *wiring)
            QObject::disconnect(wire);
    };
    wiring->push_back(
        QObject::connect(socket, &QTcpSocket::connected, connection, [connection, unwire] {
            unwire();
            connection->setCurrentLine(1);
            connection->sendLine();
        }));
    wiring->push_back(
        QObject::connect(socket, &QAbstractSocket::stateChanged, connection,
                         [connection, unwire, attempt](QAbstractSocket::SocketState state) {
                             if (state != QAbstractSocket::UnconnectedState)
                                 return;
                             unwire();
                             // The Connection names the failures it knows; once every signal of
                             // this one is in, any other leaves the printer refused rather than
                             // waiting for ever.
                             QTimer::singleShot(0, connection, [connection, attempt] {
                                 if (connection->outcome() != PrinterOutcome::Waiting ||
                                     connection->property(restartProperty).toInt() != attempt)
                                     return;
                                 QTcpSocket *socket = connection->tcpSocket();
                                 connection->setOutcome(
                                     socket && socket->error() == QAbstractSocket::HostNotFoundError
                                         ? PrinterOutcome::HostNotFound
                                         : PrinterOutcome::Refused);
                             });
                         }));
    socket->connectToHost(QHostAddress(address), port,
                          QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void stopRestart(Connection *connection)
{
    if (connection->outcome() != PrinterOutcome::Waiting)
        return;
    if (QTcpSocket *socket = connection->tcpSocket())
        socket->abort();
    connection->setOutcome(PrinterOutcome::Stopped);
}

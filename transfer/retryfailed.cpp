#include "transfer/retryfailed.h"

#include "transfer/connection.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <memory>

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

    // Wired for this one attempt: whichever comes first, the line or its failure.
    auto up = std::make_shared<QMetaObject::Connection>();
    auto down = std::make_shared<QMetaObject::Connection>();
    const auto unwire = [up, down] {
        QObject::disconnect(*up);
        QObject::disconnect(*down);
    };
    *up = QObject::connect(socket, &QTcpSocket::connected, connection, [connection, unwire] {
        unwire();
        connection->setCurrentLine(1);
        connection->sendLine();
    });
    *down = QObject::connect(socket, &QAbstractSocket::errorOccurred, connection,
                             [connection, unwire](QAbstractSocket::SocketError error) {
                                 unwire();
                                 // The Connection names its own failures; this only covers one it
                                 // left open.
                                 if (connection->outcome() != PrinterOutcome::Waiting)
                                     return;
                                 connection->setOutcome(error == QAbstractSocket::HostNotFoundError
                                                            ? PrinterOutcome::HostNotFound
                                                            : PrinterOutcome::Refused);
                             });
    socket->connectToHost(QHostAddress(address), port,
                          QIODevice::ReadWrite | QIODevice::Unbuffered);
}

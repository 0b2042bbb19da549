#pragma once

#include "core/transfer/printeroutcome.h"
#include "core/transfer/timing.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QHash>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

class QTcpSocket;
class QTimer;

// Connects printers' sockets, each on a new line (whatever it carried is cut
// first), and gives up on one not connected within the time-out. One coarse
// sweep watches every attempt: no timer per printer.
class ConnectAttempts : public QObject
{
    Q_OBJECT

public:
    // A printer held back for want of a descriptor this often ends with the
    // local cause.
    static constexpr int maxLocalFaults = 50;

    explicit ConnectAttempts(QObject *parent = nullptr);
    ~ConnectAttempts() override;

    // 0: no time-out.
    void setTimeout(int ms) { timeoutMs = ms; }
    int timeout() const { return timeoutMs; }
    // The socket is not owned. connected() or failed() follows, once, unless the
    // attempt is cancelled; failed() may come before start() returns.
    void start(int key, QTcpSocket *socket, const QString &address, quint16 port);
    // Forgets the attempt without a word; the socket is left as it is.
    void cancel(int key);
    void cancelAll();
    bool isConnecting(int key) const { return attempts.contains(key); }
    // Whether some ConnectAttempts is connecting this socket now.
    static bool isAttempting(const QTcpSocket *socket);
    int connecting() const { return int(attempts.size()); }

    // The outcome of a failed connect: Refused, HostNotFound, NoAnswer or
    // LocalError, the last with its errno in `localError`.
    static PrinterOutcome classify(QAbstractSocket::SocketError error, int *localError);

signals:
    void connected(int key);
    // `localError`: the errno of a LocalError, else 0.
    void failed(int key, PrinterOutcome outcome, int localError);

private:
    struct Attempt
    {
        QPointer<QTcpSocket> socket;
        QElapsedTimer since;
        std::vector<QMetaObject::Connection> wires;
    };

    void forget(int key);
    void fail(int key, PrinterOutcome outcome, int localError);
    void sweep();

    QHash<int, Attempt> attempts;
    int timeoutMs = Timing::connectTimeoutMs;
    QTimer *sweeper;
};

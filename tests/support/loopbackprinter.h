#pragma once

#include "support/ptyprinter.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A printer on 127.0.0.1, on the test thread's event loop, taking any number of
// connections one after another or at once. Each whole frame is answered from
// `answers`, then with `otherwise` (empty: silent); after `dropAfter` frames on
// one connection it hangs up instead of answering.
class LoopbackPrinter
{
public:
    LoopbackPrinter() : LoopbackPrinter(0) {}
    // Listening on `port`, or, with -1, not listening: connections are refused
    // until listen().
    explicit LoopbackPrinter(int port)
    {
        QObject::connect(&server, &QTcpServer::newConnection, [this] { takeConnections(); });
        if (port >= 0)
            listen(quint16(port));
    }

    bool listen(quint16 port = 0)
    {
        freePort(port);
        return server.listen(QHostAddress::LocalHost, port);
    }
    // A port that refuses connections until freePort() or listen() on it. It
    // stays bound meanwhile, so that no other listener (another test running at
    // the same time) can take it.
    static quint16 deadPort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            if (fd >= 0)
                ::close(fd);
            return 0;
        }
        heldPorts().insert(ntohs(address.sin_port), fd);
        return ntohs(address.sin_port);
    }
    // Lets a printer (here or in another process) listen on a dead port.
    static void freePort(quint16 port)
    {
        if (heldPorts().contains(port))
            ::close(heldPorts().take(port));
    }
    quint16 port() const { return server.serverPort(); }
    int open() const
    {
        return int(std::count_if(peers.begin(), peers.end(), [](const QPointer<QTcpSocket> &p) {
            return p && p->state() == QAbstractSocket::ConnectedState;
        }));
    }
    // Connects `socket` to this printer; true once the printer has taken it.
    bool accept(QTcpSocket *socket)
    {
        const int before = connections;
        socket->connectToHost(QHostAddress::LocalHost, port());
        return socket->waitForConnected(5000) &&
               QTest::qWaitFor([&] { return connections > before; });
    }
    // Writes a marker byte on the program's `socket`, after all the program
    // wrote on it, and waits until the printer has it: then every frame sent
    // before it is in `frames`. The marker stays in the frame stream, so this
    // ends what the connection may still send.
    bool receivedAllFrom(QTcpSocket *socket)
    {
        socket->write(marker, 1);
        return QTest::qWaitFor([this] { return markerSeen; });
    }
    QTcpSocket *last() const { return peers.isEmpty() ? nullptr : peers.last().data(); }
    void close() { server.close(); }

    QList<QByteArray> frames; // from every connection, in arrival order
    QList<QByteArray> answers;
    QByteArray otherwise = "\x64";
    int dropAfter = -1;
    int connections = 0;
    int mostOpen = 0;
    QList<QPointer<QTcpSocket>> peers; // every connection taken, in order

private:
    static QHash<quint16, int> &heldPorts()
    {
        static QHash<quint16, int> held;
        return held;
    }

    struct Peer
    {
        FrameStream stream;
        int frames = 0;
    };

    void takeConnections()
    {
        while (QTcpSocket *peer = server.nextPendingConnection()) {
            ++connections;
            peers.append(peer);
            mostOpen = std::max(mostOpen, open());
            auto *state = new Peer;
            QObject::connect(peer, &QObject::destroyed, [state] { delete state; });
            QObject::connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
            QObject::connect(peer, &QTcpSocket::readyRead, [this, peer, state] {
                const QByteArray bytes = peer->readAll();
                markerSeen = markerSeen || bytes.contains(marker[0]);
                for (const QByteArray &frame : state->stream.feed(bytes)) {
                    frames.append(frame);
                    if (++state->frames == dropAfter) {
                        peer->disconnectFromHost();
                        return;
                    }
                    const QByteArray answer = answers.isEmpty() ? otherwise : answers.takeFirst();
                    if (!answer.isEmpty())
                        peer->write(answer);
                }
            });
        }
    }

    static constexpr char marker[] = "#"; // in no frame
    bool markerSeen = false;
    QTcpServer server;
};

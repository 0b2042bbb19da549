#pragma once

#include "support/ptyprinter.h"

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

// A printer on 127.0.0.1, on the test thread's event loop, taking any number of
// connections one after another or at once. Each whole frame is answered from
// `answers`, then with `otherwise` (empty: silent), or echoed; after `dropAfter`
// frames on one connection it hangs up instead of answering.
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

    bool listen(quint16 port = 0) { return server.listen(QHostAddress::LocalHost, port); }
    // A port nobody listens on.
    static quint16 deadPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }
    quint16 port() const { return server.serverPort(); }
    int open() const
    {
        return int(std::count_if(peers.begin(), peers.end(), [](const QPointer<QTcpSocket> &p) {
            return p && p->state() == QAbstractSocket::ConnectedState;
        }));
    }
    QTcpSocket *last() const { return peers.isEmpty() ? nullptr : peers.last().data(); }
    void close() { server.close(); }

    QList<QByteArray> frames; // from every connection, in arrival order
    QList<QByteArray> answers;
    QByteArray otherwise = "\x64";
    int dropAfter = -1;
    bool echo = false; // answers each frame with the frame itself
    int connections = 0;
    int mostOpen = 0;
    QList<QPointer<QTcpSocket>> peers; // every connection taken, in order

private:
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
                for (const QByteArray &frame : state->stream.feed(peer->readAll())) {
                    frames.append(frame);
                    if (++state->frames == dropAfter) {
                        peer->disconnectFromHost();
                        return;
                    }
                    const QByteArray answer = echo                ? frame
                                              : answers.isEmpty() ? otherwise
                                                                  : answers.takeFirst();
                    if (!answer.isEmpty())
                        peer->write(answer);
                }
            });
        }
    }

    QTcpServer server;
};

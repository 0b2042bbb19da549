#pragma once

#include "support/logorows.h"

#include "core/printer/frame.h"
#include "core/transfer/connection.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

// A Connection on its own unbuffered socket, as the main window opens them, to
// a printer "Kasa 1" on loopback.
struct ConnectionLink
{
    explicit ConnectionLink(Notifier &notifier)
        : connection(&socket, 0, &notifier), changed(&connection, &Connection::outcomeChanged),
          finished(&connection, &Connection::finished),
          disconnected(&socket, &QTcpSocket::disconnected)
    {
    }
    void startConnecting(quint16 to)
    {
        port = to;
        connection.setPrinter(QStringLiteral("Kasa 1"), QStringLiteral("127.0.0.1"), port);
        socket.connectToHost(QHostAddress::LocalHost, port,
                             QIODevice::ReadWrite | QIODevice::Unbuffered);
    }
    bool connectTo(quint16 to)
    {
        startConnecting(to);
        return socket.waitForConnected(5000);
    }
    // A transfer of `lines` rows from the first.
    void start(int lines)
    {
        hex = logoHexOf(lines);
        connection.setCurrentLine(1);
        connection.setLineCount(lines);
        connection.setTransferData(&hex, buildFrameTemplate(LogoPlacement::Header));
        connection.sendLine();
    }
    // True once what `peer` wrote has reached the socket and been read.
    bool landed(QTcpSocket *peer)
    {
        return QTest::qWaitFor(
            [&] { return peer->bytesToWrite() == 0 && socket.bytesAvailable() == 0; }, 2000);
    }
    // The box's detail line for this printer.
    QString detail() const { return QStringLiteral("Drukarka „Kasa 1”, 127.0.0.1:%1").arg(port); }

    quint16 port = 0;
    QTcpSocket socket;
    QByteArray hex;
    Connection connection;
    QSignalSpy changed;
    QSignalSpy finished;
    QSignalSpy disconnected;
};

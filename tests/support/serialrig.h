#pragma once

#include "support/logorows.h"
#include "support/ptyprinter.h"
#include "support/recordingnotifier.h"
#include "support/windowsetup.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

// The main window with a printer on a pseudo-terminal.
struct SerialRig
{
    explicit SerialRig(RecordingNotifier &notifier) : window(&notifier)
    {
        server.listen(QHostAddress::LocalHost);
    }

    TestFolder folder;
    PtyPrinter printer;
    QTcpServer server; // accepts the TCP/IP printers' connections and leaves them be
    MainWindow window;
    MainWindowTester t{window};
    QLabel *status = t.child<QLabel>("statusLabel");
    QProgressBar *progress = t.child<QProgressBar>("progressBar");

    QSerialPort *port() { return t.linkSettings().serialPort; }
    QString shown() { return status->styleSheet().mid(7) + ": " + status->text(); }

    bool openSerial(const QString &portName, bool chosen = true)
    {
        t.linkSettings().linkMode = 1;
        t.linkSettings().comPortName = portName;
        t.linkSettings().comPortChosen = chosen;
        t.openLink();
        return t.linkSettings().comPortOpen == chosen && port()->isOpen() == chosen;
    }

    // A picture loaded and the port open on the printer.
    bool ready()
    {
        return printer.isValid() && loadWhiteLogo(t, folder) && openSerial(printer.slavePath());
    }

    // sliderY such that 96 * Y / 100 == rows, then "Wyślij".
    void sendRows(int rows)
    {
        t.sliderY()->setValue(rows == 96 ? 100 : (rows * 100 + 95) / 96);
        t.send();
    }

    QByteArrayList sentRows() { return frameRows(printer.frames); }
    // All the program wrote has reached the printer's frames.
    bool printerHasAll() { return port()->bytesToWrite() == 0 && printer.unreadByPrinter() == 0; }

    // Sends four rows to their end: their frames follow `earlier` at once,
    // which shows that nothing went out before them.
    bool nextSendFollows(const QByteArrayList &earlier)
    {
        printer.otherwise = PrinterAnswer::ack();
        sendRows(4);
        return QTest::qWaitFor([this] { return t.currentLine() == 5; }) &&
               sentRows() == earlier + rowFields(1, 4, 4);
    }

    // The printer sends bytes unasked; true once the program took them as one reply.
    bool strayReply(const QByteArray &bytes)
    {
        QSignalSpy taken(port(), &QSerialPort::readyRead);
        printer.write(bytes);
        return taken.wait(5000) && taken.size() == 1 && t.lastReply() == bytes;
    }

    // Appends a printer entry; a connected one is connected for real.
    bool addPrinter(bool selected, bool connected)
    {
        LinkSettings &s = t.linkSettings();
        s.tcpSockets.append(new QTcpSocket);
        s.printerSelected.append(selected);
        s.printerCount = s.tcpSockets.size();
        if (connected)
            s.tcpSockets.last()->connectToHost(QHostAddress::LocalHost, server.serverPort());
        return !connected || s.tcpSockets.last()->waitForConnected(5000);
    }

    bool allDisconnected()
    {
        for (QTcpSocket *socket : t.linkSettings().tcpSockets)
            if (socket->state() != QAbstractSocket::UnconnectedState)
                return false;
        return true;
    }
};

#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>

class Notifier;

// Programs the logo into one TCP/IP printer, one frame per answer. The socket
// belongs to the main window; what the operator must know goes through the notifier.
class Connection : public QObject
{
    Q_OBJECT

public:
    Connection(QTcpSocket *socket, int lineCount, Notifier *notifier);

    QTcpSocket *tcpSocket() const { return socket; }
    int line() const { return currentLine; }

    void setCurrentLine(int line) { currentLine = line; }
    void setLineCount(int count) { lineCount = count; }
    // The payload is the main window's logo text, kept alive and unchanged while
    // a transfer runs; the frame is copied.
    void setTransferData(const QByteArray *payload, const QByteArray &frame);
    // Who this printer is, for the message boxes about it.
    void setPrinter(const QString &name, const QString &address, quint16 port);
    void sendLine();

signals:
    void value(int line);
    void finished();

public slots:
    void cancelSend();

private slots:
    void readTcpData();
    void connectAccepted();
    void displayError(QAbstractSocket::SocketError socketError);

private:
    void critical(const QString &text);
    QString printerDetail() const;

    // Guarded: the table may delete a removed entry's socket before the link is rebuilt.
    QPointer<QTcpSocket> socket;
    QByteArray frame;
    QByteArray lastReply;
    const QByteArray *payload = nullptr;
    int currentLine = 1;
    int lineCount = 0;
    Notifier *notifier;
    QString printerName;
    QString printerAddress;
    quint16 printerPort = 0;
    // A frame is on the wire and its answer not yet read. Bytes that come
    // otherwise (before any transfer, from an unticked printer, after the end)
    // must not drive a write.
    bool replyAwaited = false;
};

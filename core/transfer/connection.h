#pragma once

#include "core/notifier.h"
#include "core/transfer/printeroutcome.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>

class QTimer;

// Programs the logo into one TCP/IP printer, one frame per answer. The socket
// belongs to the main window; what the operator must know goes through the notifier.
class Connection : public QObject
{
    Q_OBJECT

public:
    // Bytes that no frame asked for, per floodWindowMs, past which the printer is
    // cut off: no answer is ever that long. A rate, so that a device chattering
    // slowly while idle keeps its line however long the window stays open.
    static constexpr qint64 floodLimit = 64 * 1024;
    static constexpr int floodWindowMs = 60 * 1000;

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

    PrinterOutcome outcome() const { return state; }
    // Rows acknowledged in the current transfer.
    int rowsSent() const { return acked; }
    // Since this transfer's first frame; frozen once it ended.
    qint64 elapsedMs() const;
    // No answer for the answer time-out, still waiting.
    bool silent() const { return silence; }
    // A frame unanswered for `ms` (0: no time-out) either flags silent() and keeps
    // waiting, or ends the transfer as NoAnswer.
    void setAnswerTimeout(int ms, bool endsTransfer);
    // For printers that are never started (unticked, not connected); an ended
    // outcome also ends a transfer in progress.
    void setOutcome(PrinterOutcome outcome);
    // At most `bytes` unasked per `ms`; for tests, the defaults otherwise.
    void setFloodLimit(qint64 bytes, int ms);

signals:
    void value(int line);
    void finished();
    // The outcome or silent() changed; not emitted for every row.
    void outcomeChanged();

public slots:
    void cancelSend();

private slots:
    void readTcpData();
    void connectAccepted();
    void displayError(QAbstractSocket::SocketError socketError);
    void lineDropped();

private:
    void begin();
    void startWatch();
    void end(PrinterOutcome outcome);
    void checkSilence();
    // Up to `size` bytes that came; 0 when none, -1 when the line is gone (and
    // closed). `first`: the notification's first read.
    qint64 receive(char *data, qint64 size, bool first);
    bool flooded(qint64 bytes);
    void critical(const QString &text);
    void notify(Notice notice);
    void showBoxes();
    QString printerDetail() const;

    // Guarded: the table may delete a removed entry's socket before the link is rebuilt.
    QPointer<QTcpSocket> socket;
    QByteArray frame;
    // The first bytes of the last answer, enough to tell a one-byte answer.
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
    // are read and dropped: they are no answer.
    bool replyAwaited = false;

    PrinterOutcome state = PrinterOutcome::Waiting;
    int sentRow = 0; // the row of the frame last written
    int acked = 0;
    QElapsedTimer clock;
    qint64 endedMs = 0;
    qint64 writtenMs = 0; // when the awaited frame was written
    // Unasked bytes not yet drained at the flood limit's rate, as of floodMs.
    qint64 unasked = 0;
    qint64 floodMs = 0;
    qint64 floodBytes = floodLimit;
    int floodPerMs = floodWindowMs;
    QElapsedTimer floodClock;
    // An answer other than a single acknowledgement byte came in this transfer.
    bool unconfirmed = false;
    int answerTimeoutMs = 0;
    bool timeoutEnds = false;
    bool silence = false;
    QTimer *watch = nullptr;

    // Boxes about this printer, one at a time: the first is open (or about to
    // be). None is shown from inside a socket's notification.
    QList<Notice> boxes;
    bool boxOpen = false;
    bool boxPosted = false;
    int insideSocket = 0;
};

#pragma once

#include "core/transfer/printeroutcome.h"
#include "core/transfer/timing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <vector>

class ConnectAttempts;
class Connection;
class Notifier;
class QTcpSocket;
class QTimer;

using PrinterTarget = PrinterAddress;

// Programs one logo into many TCP/IP printers without a window: a socket and a
// Connection per attempt, opened unbuffered as the window opens them, a time-out
// on connecting and on every answer, failed printers tried again from row 1 on a
// new connection, at most a given number in flight.
class Rollout : public QObject
{
    Q_OBJECT

public:
    explicit Rollout(Notifier *notifier, QObject *parent = nullptr);
    ~Rollout() override;

    void setLogo(const QByteArray &logoHex, int lineCount, const QByteArray &frameTemplate);
    // For connecting and for each answer; past it the attempt failed (NoAnswer).
    // 0: no time-out.
    void setTimeout(int ms) { timeoutMs = ms; }
    // A failed printer (never an already programmed one) is tried again up to n times.
    void setRetries(int n) { retries = n; }
    void setRetryPause(int ms) { retryPauseMs = ms; }
    // At most k printers in flight (connecting, sending or pausing before another
    // attempt); 0: all at once.
    void setJobs(int k) { jobs = k; }
    // A dry run: each printer is connected and let go, no frame is written; a
    // printer reached ends as WouldProgram.
    void setCheckOnly(bool on) { checkOnly = on; }
    void start(const QList<PrinterTarget> &targets);
    // No new frame is written: each printer's answer in flight is awaited for a
    // moment (its last row may still be acknowledged), then every printer ends.
    void stop();

    // One per target, in order. `seconds` runs from the printer's first attempt
    // to its end, pauses and retries included.
    const QList<PrinterResult> &results() const { return outcomes; }
    int inFlight() const { return flying; }
    // Printers held back at least once because this computer ran out of
    // descriptors (or the like) while opening their connection.
    int heldBackCount() const { return heldBackTotal; }

signals:
    void printerEnded(int index); // results().at(index) is final
    void finished();              // every printer ended

private:
    enum class Phase
    {
        Queued,
        Connecting,
        Sending,
        Pausing,
        Ended
    };
    struct Printer
    {
        Phase phase = Phase::Queued;
        QTcpSocket *socket = nullptr;
        Connection *connection = nullptr;
        QElapsedTimer sinceStart;   // first attempt
        int localFaults = 0;
    };

    void abandon();
    void launchMore();
    bool localFault(int index, int error);
    void attempt(int index);
    void connected(int index);
    void outcomeChanged(int index);
    void attemptEnded(int index, PrinterOutcome outcome);
    // Nothing the printer's socket and connection say reaches this any more;
    // the socket closed at once, both deleted later.
    void cutLoose(int index);
    void release(int index);
    void settle(int index, PrinterOutcome outcome);
    void endAll();

    Notifier *notifier;
    QByteArray logoHex;
    QByteArray frameTemplate;
    int lineCount = 0;
    int timeoutMs = Timing::answerTimeoutMs;
    int retries = 0;
    int retryPauseMs = Timing::retryPauseMs;
    int jobs = 0;
    int localCap = 0; // after a local fault: no more in flight than then
    bool checkOnly = false;
    bool launching = false;
    QList<int> heldBack; // waiting for descriptors to free up
    int heldBackTotal = 0;
    QList<PrinterTarget> targets;
    QList<PrinterResult> outcomes;
    std::vector<Printer> printers;
    int next = 0; // the first printer never started
    int flying = 0;
    int ended = 0;
    bool stopping = false;
    int run = 0; // tells a timer of an earlier start() from this one's
    ConnectAttempts *connects;
};

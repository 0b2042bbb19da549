#pragma once

#include "core/transfer/printeroutcome.h"
#include "core/transfer/timing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QSerialPort;

// Programs the logo into the one printer on a serial port, headless: the port
// opened as the window opens it (9600 8N1, no flow control), one frame per
// answer, with a time-out, retries and a stop that waits for the answer in flight.
class SerialRollout : public QObject
{
    Q_OBJECT

public:
    explicit SerialRollout(QObject *parent = nullptr);
    ~SerialRollout() override;

    void setLogo(const QByteArray &logoHex, int lineCount, const QByteArray &frameTemplate);
    void setTimeout(int ms);    // no answer for this long: NoAnswer
    void setRetries(int n);     // failed (never AlreadyProgrammed): again from row 1
    void setRetryPause(int ms); // default Timing::retryPauseMs
    void setStopWait(int ms);   // how long stop() waits for the answer in flight
    // A dry run: the port is opened and closed, no frame written (WouldProgram).
    void setCheckOnly(bool on) { checkOnly = on; }

    void start(const QString &portName);
    // No new frame; the answer in flight may still end the logo.
    void stop();
    const PrinterResult &result() const { return res; }

signals:
    void ended(); // result() is final

private:
    void attempt();
    void sendRow();
    void readAnswer();
    void portError();
    void fail(PrinterOutcome outcome);
    void end(PrinterOutcome outcome);

    QSerialPort *port;
    QTimer answerTimer;
    QTimer retryTimer;
    QTimer stopTimer;
    QElapsedTimer clock;
    QByteArray hex;
    QByteArray frame;
    QString portName;
    PrinterResult res;
    int lines = 0;
    int row = 0; // the row on the wire, 1-based
    int timeoutMs = Timing::answerTimeoutMs;
    int retriesLeft = 0;
    int retries = 0;
    int stopWaitMs = Timing::stopGraceMs;
    bool awaiting = false;
    bool stopping = false;
    bool done = false;
    bool checkOnly = false;
};

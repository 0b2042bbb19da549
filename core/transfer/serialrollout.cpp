#include "core/transfer/serialrollout.h"

#include "core/printer/frame.h"
#include "core/printer/printerreply.h"
#include "core/printer/serialline.h"

#include <QSerialPort>

SerialRollout::SerialRollout(QObject *parent) : QObject(parent), port(new QSerialPort(this))
{
    answerTimer.setSingleShot(true);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(Timing::retryPauseMs);
    stopTimer.setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, [this] { fail(PrinterOutcome::NoAnswer); });
    connect(&retryTimer, &QTimer::timeout, this, &SerialRollout::attempt);
    connect(&stopTimer, &QTimer::timeout, this, [this] {
        if (!done)
            end(PrinterOutcome::Stopped);
    });
    connect(port, &QSerialPort::readyRead, this, &SerialRollout::readAnswer);
    connect(port, &QSerialPort::errorOccurred, this, &SerialRollout::portError);
}

SerialRollout::~SerialRollout() = default;

void SerialRollout::setLogo(const QByteArray &logoHex, int lineCount,
                            const QByteArray &frameTemplate)
{
    hex = logoHex;
    lines = lineCount;
    frame = frameTemplate;
}

void SerialRollout::setTimeout(int ms)
{
    timeoutMs = ms;
}

void SerialRollout::setRetries(int n)
{
    retries = n;
}

void SerialRollout::setRetryPause(int ms)
{
    retryTimer.setInterval(ms);
}

void SerialRollout::setStopWait(int ms)
{
    stopWaitMs = ms;
}

void SerialRollout::start(const QString &name)
{
    portName = name;
    res = PrinterResult();
    res.address = name;
    res.rows = lines;
    res.attempts = 0;
    retriesLeft = retries;
    stopping = false;
    done = false;
    clock.start();
    attempt();
}

void SerialRollout::attempt()
{
    ++res.attempts;
    res.rowsSent = 0;
    // A port that cannot be opened is not a printer that failed: nothing to retry.
    if (!openPrinterPort(*port, portName)) {
        end(PrinterOutcome::NotConnected);
        return;
    }
    if (checkOnly) {
        end(PrinterOutcome::WouldProgram);
        return;
    }
    // Whatever the printer said before this logo is no answer to it.
    port->clear();
    res.outcome = PrinterOutcome::Sending;
    row = 1;
    sendRow();
}

void SerialRollout::sendRow()
{
    if (!fillFrameRow(frame, row, lines, hex) || !writeFrame(*port, frame)) {
        fail(PrinterOutcome::WriteError);
        return;
    }
    awaiting = true;
    answerTimer.start(timeoutMs);
}

void SerialRollout::readAnswer()
{
    const QByteArray reply = port->readAll();
    if (!awaiting || reply.isEmpty() || done)
        return;
    awaiting = false;
    answerTimer.stop();
    if (isAlreadyProgrammedReply(reply)) {
        end(PrinterOutcome::AlreadyProgrammed);
        return;
    }
    res.rowsSent = row;
    if (row == lines)
        end(PrinterOutcome::Programmed);
    else if (stopping)
        end(PrinterOutcome::Stopped);
    else {
        ++row;
        sendRow();
    }
}

void SerialRollout::portError()
{
    const QSerialPort::SerialPortError error = port->error();
    if (error == QSerialPort::NoError || done || res.outcome != PrinterOutcome::Sending)
        return;
    // A device that went away (the adapter pulled, the far end of a line gone)
    // ends the logo where it stood; other errors are failed writes.
    if (error == QSerialPort::ResourceError)
        fail(PrinterOutcome::HungUp);
    else if (error == QSerialPort::WriteError)
        fail(PrinterOutcome::WriteError);
}

void SerialRollout::fail(PrinterOutcome outcome)
{
    awaiting = false;
    answerTimer.stop();
    port->close();
    if (retriesLeft > 0 && !stopping) {
        --retriesLeft;
        res.outcome = outcome;
        retryTimer.start();
        return;
    }
    end(outcome);
}

void SerialRollout::stop()
{
    if (done || stopping)
        return;
    stopping = true;
    if (retryTimer.isActive()) {
        // Between attempts: it stands as its last failure.
        retryTimer.stop();
        end(res.outcome);
    } else if (awaiting) {
        stopTimer.start(stopWaitMs);
    } else {
        end(PrinterOutcome::Stopped);
    }
}

void SerialRollout::end(PrinterOutcome outcome)
{
    awaiting = false;
    done = true;
    answerTimer.stop();
    retryTimer.stop();
    stopTimer.stop();
    if (port->isOpen())
        port->close();
    res.outcome = outcome;
    res.seconds = clock.elapsed() / 1000.0;
    emit ended();
}

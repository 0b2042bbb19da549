// Building the logo on "Wyślij" and programming it into the printer frame by
// frame, each frame waiting for the printer's answer to the one before.
#include "ui/mainwindow/mainwindow.h"

#include "core/logo/logoraster.h"
#include "core/notifier.h"
#include "core/printer/frame.h"
#include "core/printer/printerreply.h"
#include "core/printer/serialline.h"
#include "core/product.h"
#include "ui/progress/progressthrottle.h"

#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSerialPort>
#include <QSlider>
#include <QTcpSocket>
#include <QTimer>

void MainWindow::openLink()
{
    linkSettings.comPortOpen = false;
    if (linkSettings.linkMode == 2) {
        openTcpLink();
        return;
    }
    if (linkSettings.linkMode != 1)
        return;

    QSerialPort *port = linkSettings.serialPort;
    port->close();
    setUpPrinterPort(*port, linkSettings.comPortName);
    if (!linkSettings.comPortChosen)
        return;
    disconnectTcpPrinters();
    if (port->open(QIODevice::ReadWrite)) {
        linkSettings.comPortOpen = true;
        enableSendIfReady();
    } else {
        notifier->critical(QStringLiteral("Błąd"), QStringLiteral("Nie można otworzyć portu COM."));
        linkSettings.linkMode = 0;
    }
}

void MainWindow::send()
{
    const LogoRaster raster = currentRaster();
    logoHex = raster.hex;
    lineCount = raster.lineCount;
    frameTemplate = buildFrameTemplate(headerRadio->isChecked() ? LogoPlacement::Header
                                                                : LogoPlacement::Footer);
    if (lineCount == 0) {
        // Nothing to program; a reply still in flight then ends nothing new.
        currentLine = lineCount + 1;
        notifier->information(productName(),
                              QStringLiteral("Logo w tej skali jest puste, nic nie wysłano."));
        return;
    }
    if (!confirmWriteBudget())
        return;
    sentFingerprint = logoFingerprint(logoHex, lineCount, frameTemplate);
    journalFailureTold = false;

    // Bytes left unread while a message box ran its own event loop would join
    // the answer to row 1 and hide it.
    if (linkSettings.linkMode == 1 && linkSettings.serialPort->isOpen())
        linkSettings.serialPort->readAll();

    currentLine = 1;
    progressBar->setMaximum(lineCount);
    if (linkSettings.linkMode == 2)
        startTcpPrinters();
    sendCurrentLine();
}

void MainWindow::sendCurrentLine()
{
    const bool filled = fillFrameRow(frameTemplate, currentLine, lineCount, logoHex);
    // The frame goes out first: the printer's time then overlaps the bookkeeping.
    bool write = linkSettings.linkMode == 1 && linkSettings.comPortChosen && filled;
    if (write && !linkSettings.serialPort->isOpen() && !reopenSerialPort()) {
        write = false;
        cancel();
        currentLine = lineCount + 1;
    }
    if (write)
        writeFrame(*linkSettings.serialPort, frameTemplate);
    showProgress(currentLine);

    if (linkSettings.linkMode == 1 && !linkSettings.comPortChosen)
        notifySerial(productName(), QStringLiteral("Niewybrany port COM."));
    else if (linkSettings.linkMode == 2)
        runTcpProgress();
}

void MainWindow::showProgress(int value, bool now)
{
    if (!progressThrottle) {
        progressThrottle = new ProgressThrottle(this);
        progressThrottle->addBar(progressBar);
    }
    if (now)
        progressThrottle->setValueNow(0, value);
    else
        progressThrottle->setValue(0, value);
}

void MainWindow::readComData()
{
    // At most the port's read buffer; more makes another notification.
    lastReply = linkSettings.serialPort->readAll();
    // Bytes no frame awaits (before the first send, after the end or a cancel's
    // last answer, or with the TCP/IP link) are not an answer: read and dropped.
    if (linkSettings.linkMode != 1 || currentLine < 1 || currentLine > lineCount)
        return;
    const QScopedValueRollback<bool> reading(readingSerial, true);
    if (isAlreadyProgrammedReply(lastReply))
        journalEnd(QString(), linkSettings.comPortName, 0, PrinterOutcome::AlreadyProgrammed,
                   currentLine - 1);
    else if (currentLine == lineCount)
        journalEnd(QString(), linkSettings.comPortName, 0, PrinterOutcome::Programmed, lineCount);
    checkSerialReply();
    ++currentLine;
    if (currentLine <= lineCount)
        sendCurrentLine();
}

void MainWindow::checkSerialReply()
{
    if (!isAlreadyProgrammedReply(lastReply))
        return;
    // Cancelled before the box, so that nothing more counts as an answer.
    emit cancelButton->clicked(false);
    notifySerial(productName(), QStringLiteral("Grafika już zaprogramowana"));
}

void MainWindow::notifySerial(const QString &title, const QString &text)
{
    if (serialBoxDue)
        return;
    serialBoxDue = true;
    const auto show = [this, title, text] {
        notifier->critical(title, text);
        serialBoxDue = false;
    };
    // A box inside the port's readyRead would run its event loop with the port's
    // notification still in progress; it runs once the slot has returned.
    if (readingSerial)
        QTimer::singleShot(0, this, show);
    else
        show();
}

bool MainWindow::reopenSerialPort()
{
    QSerialPort *port = linkSettings.serialPort;
    if (port->open(QIODevice::ReadWrite)) {
        linkSettings.comPortOpen = true;
        return true;
    }
    notifySerial(QStringLiteral("Błąd"),
                 QStringLiteral("Nie można otworzyć portu %1. Logo nie zostało wysłane.")
                     .arg(linkSettings.comPortName));
    return false;
}

void MainWindow::cancel()
{
    currentLine = lineCount;
    showProgress(0, true);
    cancelTcpPrinters();
}

// Building the logo on "Wyślij" and programming it into the printer frame by
// frame, each frame waiting for the printer's answer to the one before.
#include "app/mainwindow.h"

#include "app/notifier.h"
#include "logo/logoraster.h"
#include "transfer/frame.h"
#include "transfer/printerreply.h"
#include "transfer/progressthrottle.h"

#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QSlider>
#include <QTcpSocket>

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
    port->setPortName(linkSettings.comPortName);
    port->setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
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
        notifier->information(QStringLiteral("Kelm Graphics"),
                              QStringLiteral("Logo w tej skali jest puste, nic nie wysłano."));
        return;
    }

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
    const bool write = linkSettings.linkMode == 1 && linkSettings.comPortChosen && filled;
    if (write) {
        linkSettings.serialPort->write(frameTemplate);
        // Out now rather than on the next pass of the event loop.
        linkSettings.serialPort->flush();
    }
    showProgress(currentLine);

    if (linkSettings.linkMode == 1 && !linkSettings.comPortChosen)
        notifier->critical(QStringLiteral("Kelm Graphics"), QStringLiteral("Niewybrany port COM."));
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
    lastReply = linkSettings.serialPort->readAll();
    checkSerialReply();
    // Stray bytes after the end keep the transfer ended without counting on.
    if (currentLine > lineCount)
        return;
    ++currentLine;
    if (currentLine <= lineCount)
        sendCurrentLine();
}

void MainWindow::checkSerialReply()
{
    if (!isAlreadyProgrammedReply(lastReply))
        return;
    // Cancelled before the box: its event loop may deliver more bytes, and they
    // must not advance the transfer into another frame.
    emit cancelButton->clicked(false);
    notifier->critical(QStringLiteral("Kelm Graphics"),
                       QStringLiteral("Grafika już zaprogramowana"));
}

void MainWindow::cancel()
{
    currentLine = lineCount;
    showProgress(0, true);
    cancelTcpPrinters();
}

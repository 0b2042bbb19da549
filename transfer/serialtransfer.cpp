// Building the logo on "Wyślij" and programming it into the printer frame by
// frame, each frame waiting for the printer's answer to the one before.
#include "app/mainwindow.h"

#include "app/notifier.h"
#include "logo/logoraster.h"
#include "transfer/frame.h"
#include "transfer/printerreply.h"

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
    const LogoRaster raster = encodeLogoRaster(image, sliderX->value(), sliderY->value());
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
    progressBar->setValue(currentLine);
    const bool filled = fillFrameRow(frameTemplate, currentLine, lineCount, logoHex);

    if (linkSettings.linkMode == 1) {
        if (!linkSettings.comPortChosen)
            notifier->critical(QStringLiteral("Kelm Graphics"),
                               QStringLiteral("Niewybrany port COM."));
        else if (filled)
            linkSettings.serialPort->write(frameTemplate);
    } else if (linkSettings.linkMode == 2) {
        runTcpProgress();
    }
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
    progressBar->setValue(0);
    cancelTcpPrinters();
}

// The TCP/IP link comes with the printer connections; until then these do nothing.
void MainWindow::openTcpLink() {}

void MainWindow::startTcpPrinters() {}

void MainWindow::runTcpProgress() {}

void MainWindow::cancelTcpPrinters() {}

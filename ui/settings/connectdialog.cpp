#include "ui/settings/connectdialog.h"

#include "core/product.h"
#include "core/notifier.h"
#include "ui/settings/connectdialogform.h"

#include <QSerialPort>
#include <QTcpSocket>

namespace {


} // namespace

ConnectDialog::ConnectDialog(LinkSettings *settings, Notifier *notifier,
                             const ComPortFinder &findComPorts, QWidget *parent)
    : QDialog(parent), ui(new Ui::ConnectDialog), notifier(notifier), mainSettings(settings)
{
    ui->setupUi(this);
    workSettings = *mainSettings;
    setWindowTitle(tr("Ustawienia"));

    comPorts = findComPorts ? findComPorts() : QList<ComPort>();
    if (comPorts.isEmpty()) {
        notifier->critical(productName(), QStringLiteral("Brak dostępnych portów COM"));
    } else {
        // The first item becomes current and points the port at it, whatever was stored.
        for (const ComPort &port : qAsConst(comPorts))
            ui->comListBox->addItem(port.portName);
        if (workSettings.linkMode == 1) {
            const int stored = ui->comListBox->findText(workSettings.comPortName);
            if (stored > 0)
                ui->comListBox->setCurrentIndex(stored);
        }
    }

    linkGroup.addButton(ui->radioButton);
    linkGroup.addButton(ui->radioButton_2);
    if (workSettings.linkMode == 1)
        ui->radioButton->setChecked(true);
    else if (workSettings.linkMode == 2)
        ui->radioButton_2->setChecked(true);

    setUpPrinterTable();

    const int wired = std::min(mainSettings->printerCount, int(mainSettings->tcpSockets.size()));
    for (int i = 0; i < wired; ++i) {
        if (!connect(mainSettings->tcpSockets.at(i),
                     SIGNAL(stateChanged(QAbstractSocket::SocketState)), this,
                     SLOT(updateTable()))) {
            notifier->critical(productName(), QStringLiteral("Nieokreślony błąd"));
            return;
        }
    }

    ui->checkBox->setChecked(workSettings.comPortChosen);
    const bool comChosen = ui->radioButton->isChecked();
    ui->pushButton_3->setEnabled(!comChosen);
    ui->pushButton_4->setEnabled(!comChosen);
}

void ConnectDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    ui->followSize(size());
}

ConnectDialog::~ConnectDialog()
{
    delete ui;
}

void ConnectDialog::on_comListBox_currentIndexChanged(int index)
{
    if (index < 0 || index >= comPorts.size())
        return;
    // The same as QSerialPort::setPort, for devices QSerialPortInfo cannot describe.
    workSettings.serialPort->setPortName(comPorts.at(index).systemLocation);
    ui->radioButton->setChecked(true);
}

void ConnectDialog::on_radioButton_clicked()
{
    chooseLink(1);
}

void ConnectDialog::on_radioButton_2_clicked()
{
    chooseLink(2);
}

void ConnectDialog::chooseLink(int mode)
{
    workSettings.linkMode = mode;
    workSettings.chosenLinkMode = mode;
    // "Połącz" and "Rozłącz" act on the TCP/IP printers; "OK" applies the COM side.
    const bool tcp = mode == 2;
    ui->pushButton_3->setEnabled(tcp);
    ui->pushButton_4->setEnabled(tcp);
    ui->pushButton->setEnabled(!tcp);
}

void ConnectDialog::closeSerialPort()
{
    QSerialPort *port = workSettings.serialPort;
    port->close();
    workSettings.comPortName = port->portName();
    port->setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
}

void ConnectDialog::writeBack()
{
    *mainSettings = workSettings;
}

void ConnectDialog::on_pushButton_clicked()
{
    // exec() returns once this slot is done.
    done(QDialog::Accepted);
    closeSerialPort();
    workSettings.comPortOpen = false;
    if (ui->radioButton->isChecked()) {
        if (ui->checkBox->isChecked()) {
            if (workSettings.serialPort->open(QIODevice::ReadWrite)) {
                workSettings.linkMode = 1;
                workSettings.comPortOpen = true;
            } else {
                notifier->critical(productName(), tr("Nie można otworzyć portu COM"));
                workSettings.linkMode = 0;
            }
        }
    } else if (ui->radioButton_2->isChecked()) {
        workSettings.linkMode = 2;
    }
    readTicks();
    workSettings.comPortChosen = ui->checkBox->isChecked();
    writeBack();
}

void ConnectDialog::on_pushButton_2_clicked()
{
    done(QDialog::Rejected);
}

void ConnectDialog::requestLinkAction(int action)
{
    requestedAction = action;
    closeSerialPort();
    if (action == 1) {
        if (!ui->radioButton->isChecked() && ui->radioButton_2->isChecked())
            workSettings.linkMode = 2;
    } else if (ui->radioButton->isChecked()) {
        workSettings.linkMode = 1;
    } else if (ui->radioButton_2->isChecked()) {
        workSettings.linkMode = 2;
    }
    readTicks();
    // Without the TCP/IP link chosen only the request is kept, for when the
    // dialog is applied or closed later.
    if (!ui->radioButton_2->isChecked())
        return;
    writeBack();
    close();
}

void ConnectDialog::on_pushButton_3_clicked()
{
    requestLinkAction(1);
}

void ConnectDialog::on_pushButton_4_clicked()
{
    requestLinkAction(2);
}

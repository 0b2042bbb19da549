#pragma once

#include "config/comports.h"
#include "config/linksettings.h"

#include <QButtonGroup>
#include <QDialog>
#include <QList>
#include <QModelIndex>

class Notifier;
class QStandardItemModel;
class QTcpSocket;

namespace Ui {
class ConnectDialog;
}

// The "Ustawienia" window: the link, the COM port and the table of TCP/IP
// printers. It works on a copy of the main window's link record and writes the
// copy back only when applied; the serial port and the sockets are shared, so
// acting on them shows at once.
class ConnectDialog : public QDialog
{
    Q_OBJECT

public:
    ConnectDialog(LinkSettings *settings, Notifier *notifier, const ComPortFinder &findComPorts,
                  QWidget *parent);
    ~ConnectDialog() override;

    // 0 nothing, 1 connect ("Połącz"), 2 disconnect ("Rozłącz").
    int requestedAction = 0;

    // Sockets made by "Dodaj drukarkę"; whatever the main window did not take
    // over is its to delete once the dialog is gone.
    const QList<QTcpSocket *> &addedSockets() const { return newSockets; }

private slots:
    void on_pushButton_clicked();
    void on_comListBox_currentIndexChanged(int index);
    void on_pushButton_2_clicked();
    void on_radioButton_clicked();
    void on_radioButton_2_clicked();
    void updateTable();
    void on_deleteShop_clicked();
    void on_newShop_clicked();
    void on_editShop_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_4_clicked();
    void on_ipTableView_clicked(QModelIndex index);

private:
    friend class ConnectDialogTester;

    void chooseLink(int mode);
    void closeSerialPort();
    void requestLinkAction(int action);
    void writeBack();

    // The printer table.
    void setUpPrinterTable();
    void fillTable();
    QString stateText(int row) const;
    void readTicks();
    void keepEmptyLastRow();
    int currentEntry() const;

    Ui::ConnectDialog *ui;
    Notifier *notifier;
    LinkSettings *mainSettings;
    LinkSettings workSettings;
    QList<ComPort> comPorts;
    QButtonGroup linkGroup;
    QStandardItemModel *printerModel = nullptr;
    QList<QTcpSocket *> newSockets;
};

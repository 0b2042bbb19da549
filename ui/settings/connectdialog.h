#pragma once

#include "core/config/comports.h"
#include "core/config/linksettings.h"

#include <QButtonGroup>
#include <QDialog>
#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QSet>

class Notifier;
class QStandardItemModel;
class QTcpSocket;
class QTimer;
struct PrinterEntry;

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
    void on_tickAll_clicked();
    void on_untickAll_clicked();
    void on_importShops_clicked();
    void on_exportShops_clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

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
    int rowOf(QTcpSocket *socket);
    void refreshChangedRows();
    void putEntry(int row, const QString &name, const QString &address, const QString &port,
                  bool ticked);
    void setStatusCell(int row);
    void fitColumns();
    void fitRows();
    void fitRow(int row);
    int rowLines(int row) const;
    void setAllTicks(bool ticked);
    void appendEntries(const QList<PrinterEntry> &entries);
    void removeAllEntries();
    QHash<QString, QString> takenAddresses(int exceptRow) const;
    void importPrinters(const QString &path);
    bool exportPrinters(const QString &path);
    QString chooseCsvFile(bool forSaving);

    Ui::ConnectDialog *ui;
    Notifier *notifier;
    LinkSettings *mainSettings;
    LinkSettings workSettings;
    QList<ComPort> comPorts;
    QButtonGroup linkGroup;
    QStandardItemModel *printerModel = nullptr;
    QList<QTcpSocket *> newSockets;

    // Status cells are set as their sockets change; row heights follow once per
    // event-loop pass, for the rows that changed.
    QSet<QTcpSocket *> changedSockets;
    QHash<QTcpSocket *, int> rowOfSocket;
    bool rowsMoved = true;
    // Row heights by the number of lines a row shows, once measured.
    QHash<int, int> rowHeightForLines;
    bool defaultRowHeightSet = false;
    QTimer *refreshTimer = nullptr;
};

#pragma once

#include <QDialog>
#include <QHash>
#include <QStringList>

class Notifier;

namespace Ui {
class EditShopDialog;
}

// Edits one TCP/IP printer entry (name, IP address, TCP port) and checks the
// address and the port before handing the three texts back.
class EditShopDialog : public QDialog
{
    Q_OBJECT

public:
    // `entry` is read here and rewritten on "Ok"; it must outlive the dialog.
    EditShopDialog(const QString &title, QStringList *entry, Notifier *notifier,
                   QWidget *parent = nullptr);
    ~EditShopDialog() override;

    // The other entries' printers, by printerAddressKey, with their names: "Ok"
    // on one of them asks before it saves.
    void setTakenAddresses(const QHash<QString, QString> &nameByAddress);

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();

private:
    Ui::EditShopDialog *ui;
    QStringList *entry;
    Notifier *notifier;
    QHash<QString, QString> taken;
};

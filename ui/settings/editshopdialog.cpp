#include "ui/settings/editshopdialog.h"

#include "core/product.h"
#include "core/notifier.h"
#include "ui/settings/formplacement.h"
#include "core/config/printercsv.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace Ui {

// The form as the designer would lay it out; creation order is the focus order.
class EditShopDialog
{
public:
    QLineEdit *lineEdit;
    QLineEdit *lineEdit_2;
    QLineEdit *lineEdit_3;
    QLabel *label;
    QLabel *label_2;
    QLabel *label_3;
    QPushButton *pushButton;
    QPushButton *pushButton_2;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("EditShopDialog"));
        dialog->resize(332, 192);
        QFont arial;
        arial.setFamily(QStringLiteral("Arial"));

        lineEdit = place(new QLineEdit(dialog), "lineEdit", 10, 40, 310, 30);
        lineEdit_2 = place(new QLineEdit(dialog), "lineEdit_2", 10, 110, 150, 30);
        lineEdit_3 = place(new QLineEdit(dialog), "lineEdit_3", 170, 110, 150, 30);
        label = place(new QLabel(dialog), "label", 10, 10, 300, 20);
        label_2 = place(new QLabel(dialog), "label_2", 10, 80, 150, 20);
        label_3 = place(new QLabel(dialog), "label_3", 170, 80, 150, 20);
        pushButton = place(new QPushButton(dialog), "pushButton", 110, 150, 100, 30);
        pushButton_2 = place(new QPushButton(dialog), "pushButton_2", 220, 150, 100, 30);
        for (QWidget *widget :
             std::initializer_list<QWidget *>{label, label_2, label_3, pushButton, pushButton_2})
            widget->setFont(arial);

        retranslateUi(dialog);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(tr("Dialog"));
        label->setText(tr("Nazwa drukarki"));
        label_2->setText(tr("Adres IP"));
        label_3->setText(tr("Numer Portu TCP"));
        pushButton->setText(tr("Ok"));
        pushButton_2->setText(tr("Cancel"));
    }

private:
    static QString tr(const char *text)
    {
        return QCoreApplication::translate("EditShopDialog", text);
    }
};

} // namespace Ui

namespace {


} // namespace

EditShopDialog::EditShopDialog(const QString &title, QStringList *entry, Notifier *notifier,
                               QWidget *parent)
    : QDialog(parent), ui(new Ui::EditShopDialog), entry(entry), notifier(notifier)
{
    ui->setupUi(this);
    setWindowTitle(title);
    if (entry && entry->size() == 3) {
        ui->lineEdit->setText(entry->at(0));
        ui->lineEdit_2->setText(entry->at(1));
        ui->lineEdit_3->setText(entry->at(2));
    }
}

void EditShopDialog::setTakenAddresses(const QHash<QString, QString> &nameByAddress)
{
    taken = nameByAddress;
}

EditShopDialog::~EditShopDialog()
{
    delete ui;
}

void EditShopDialog::on_pushButton_clicked()
{
    // The same checks as an imported line's.
    const EntryProblem problem =
        checkPrinterEntry(ui->lineEdit->text(), ui->lineEdit_2->text(), ui->lineEdit_3->text());
    if (problem.kind != EntryProblem::None) {
        notifier->critical(productName(), problem.text, problem.detail);
        return;
    }
    const QString address = ui->lineEdit_2->text(), port = ui->lineEdit_3->text();
    const auto other = taken.constFind(printerAddressKey(address, port));
    if (other != taken.constEnd()) {
        // Allowed, as settings.txt always allowed it, but two entries of one
        // printer would send it two logos at once.
        const int answer = notifier->question(
            productName(),
            QStringLiteral("Adres %1 i port %2 ma już drukarka „%3”.")
                .arg(address, port, other.value()),
            {QStringLiteral("Zapisz mimo to"), QStringLiteral("Popraw")},
            QStringLiteral("Dwa wpisy tej samej drukarki wysłałyby do niej logo dwa razy naraz."));
        if (answer != 0)
            return;
    }
    entry->clear();
    *entry << ui->lineEdit->text() << ui->lineEdit_2->text() << ui->lineEdit_3->text();
    done(QDialog::Accepted);
}

void EditShopDialog::on_pushButton_2_clicked()
{
    done(QDialog::Rejected);
}

#include "config/editshopdialog.h"

#include "app/notifier.h"
#include "config/formplacement.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <limits>

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

const char appTitle[] = "Kelm Graphics";

// settings.txt separates its fields with ":" and cannot escape it, so a text
// holding one would shift the fields of its line at the next start.
QString forbiddenColonText(const QStringList &fields)
{
    if (fields.isEmpty())
        return {};
    QStringList quoted;
    for (const QString &field : fields)
        quoted << QStringLiteral("„%1”").arg(field);
    if (fields.size() == 1)
        return QStringLiteral("Pole %1 zawiera niedozwolony znak „:”.").arg(quoted.first());
    const QString last = quoted.takeLast();
    return QStringLiteral("Pola %1 i %2 zawierają niedozwolony znak „:”.")
        .arg(quoted.join(QStringLiteral(", ")), last);
}

// A number as toInt reads it (non-numbers as 0), except that a decimal number too
// long for an int counts as the largest int: toInt would make it 0 and let it pass.
qint64 decimalValue(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (ok)
        return value;
    static const QRegularExpression hugeNumber(QStringLiteral("^\\s*\\+?[0-9]+\\s*$"));
    return hugeNumber.match(text).hasMatch() ? std::numeric_limits<int>::max() : 0;
}

} // namespace

bool isIpValid(const QString &address)
{
    const QStringList parts = address.split(QLatin1Char('.'));
    for (const QString &part : parts) {
        if (decimalValue(part) > 255)
            return false;
    }
    return true;
}

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

EditShopDialog::~EditShopDialog()
{
    delete ui;
}

void EditShopDialog::on_pushButton_clicked()
{
    if (!isIpValid(ui->lineEdit_2->text())) {
        notifier->critical(QLatin1String(appTitle), QStringLiteral("Błędny adres IP"));
        return;
    }
    if (decimalValue(ui->lineEdit_3->text()) > 65535) {
        notifier->critical(QLatin1String(appTitle),
                           QStringLiteral("Błędny numer portu (większy niż 65536)"));
        return;
    }
    QStringList withColon;
    for (const auto &[edit, label] :
         {std::pair{ui->lineEdit, ui->label}, std::pair{ui->lineEdit_2, ui->label_2},
          std::pair{ui->lineEdit_3, ui->label_3}}) {
        if (edit->text().contains(QLatin1Char(':')))
            withColon << label->text();
    }
    if (!withColon.isEmpty()) {
        notifier->critical(QLatin1String(appTitle), forbiddenColonText(withColon),
                           QStringLiteral("Dwukropek rozdziela pola w pliku settings.txt."));
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

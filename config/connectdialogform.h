#pragma once

#include "config/formplacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

namespace Ui {

// The settings window's form as the designer would lay it out; creation order
// is the keyboard focus order, and the slots bind to these object names.
class ConnectDialog
{
public:
    QFrame *frame;
    QComboBox *comListBox;
    QRadioButton *radioButton;
    QCheckBox *checkBox;
    QPushButton *pushButton;
    QPushButton *pushButton_2;
    QFrame *frame_2;
    QRadioButton *radioButton_2;
    QTableView *ipTableView;
    QPushButton *newShop;
    QPushButton *editShop;
    QPushButton *deleteShop;
    QPushButton *pushButton_3;
    QPushButton *pushButton_4;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("ConnectDialog"));
        dialog->resize(600, 400);

        frame = place(new QFrame(dialog), "frame", 10, 10, 581, 60);
        frame->setFrameShape(QFrame::Box);
        comListBox = place(new QComboBox(frame), "comListBox", 180, 20, 170, 30);
        radioButton = place(new QRadioButton(frame), "radioButton", 10, 20, 151, 20);
        checkBox = place(new QCheckBox(frame), "checkBox", 390, 20, 171, 21);
        pushButton = place(new QPushButton(dialog), "pushButton", 40, 360, 121, 30);
        pushButton_2 = place(new QPushButton(dialog), "pushButton_2", 170, 360, 121, 30);
        frame_2 = place(new QFrame(dialog), "frame_2", 10, 80, 580, 270);
        frame_2->setFrameShape(QFrame::Box);
        radioButton_2 = place(new QRadioButton(frame_2), "radioButton_2", 10, 20, 181, 20);
        ipTableView = place(new QTableView(frame_2), "ipTableView", 10, 60, 560, 200);
        newShop = place(new QPushButton(frame_2), "newShop", 210, 10, 100, 30);
        editShop = place(new QPushButton(frame_2), "editShop", 320, 10, 101, 30);
        deleteShop = place(new QPushButton(frame_2), "deleteShop", 430, 10, 101, 30);
        pushButton_3 = place(new QPushButton(dialog), "pushButton_3", 300, 360, 121, 31);
        pushButton_4 = place(new QPushButton(dialog), "pushButton_4", 430, 360, 121, 31);

        QFont arial;
        arial.setFamily(QStringLiteral("Arial"));
        for (QWidget *widget : std::initializer_list<QWidget *>{
                 radioButton, checkBox, pushButton, pushButton_2, radioButton_2, newShop, editShop,
                 deleteShop, pushButton_3, pushButton_4})
            widget->setFont(arial);

        retranslateUi(dialog);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(tr("Dialog"));
        radioButton->setText(tr("Połączenie COM"));
        checkBox->setText(tr("Otwórz port"));
        pushButton->setText(tr("OK"));
        pushButton_2->setText(tr("Anuluj"));
        radioButton_2->setText(tr("Połączenie TCP/IP"));
        newShop->setText(tr("Dodaj drukarkę"));
        editShop->setText(tr("Edytuj drukarkę"));
        deleteShop->setText(tr("Usuń drukarkę"));
        pushButton_3->setText(tr("Połącz"));
        pushButton_4->setText(tr("Rozłącz"));
    }

private:
    static QString tr(const char *text)
    {
        return QCoreApplication::translate("ConnectDialog", text);
    }
};

} // namespace Ui

#pragma once

#include "ui/settings/formplacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include <algorithm>

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
    QPushButton *importShops;
    QPushButton *exportShops;
    QPushButton *tickAll;
    QPushButton *untickAll;

    // The designer's size, also the least the window takes.
    static constexpr int designWidth = 740, designHeight = 400;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("ConnectDialog"));
        dialog->resize(designWidth, designHeight);
        dialog->setMinimumSize(designWidth, designHeight);

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
        // Beside the printer table, where the window grew for them.
        importShops = place(new QPushButton(dialog), "importShops", 600, 90, 130, 30);
        exportShops = place(new QPushButton(dialog), "exportShops", 600, 130, 130, 30);
        tickAll = place(new QPushButton(dialog), "tickAll", 600, 180, 130, 30);
        untickAll = place(new QPushButton(dialog), "untickAll", 600, 220, 130, 30);

        QFont arial;
        arial.setFamily(QStringLiteral("Arial"));
        for (QWidget *widget : std::initializer_list<QWidget *>{
                 radioButton, checkBox, pushButton, pushButton_2, radioButton_2, newShop, editShop,
                 deleteShop, pushButton_3, pushButton_4, importShops, exportShops, tickAll,
                 untickAll})
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
        importShops->setText(tr("Importuj..."));
        exportShops->setText(tr("Eksportuj..."));
        tickAll->setText(tr("Zaznacz wszystkie"));
        untickAll->setText(tr("Odznacz wszystkie"));
    }

    // The printer table takes whatever the window has beyond the designer's
    // size; what lies right of it or below it moves along.
    void followSize(const QSize &size)
    {
        const int dw = std::max(0, size.width() - designWidth);
        const int dh = std::max(0, size.height() - designHeight);
        frame->resize(581 + dw, 60);
        frame_2->resize(580 + dw, 270 + dh);
        ipTableView->resize(560 + dw, 200 + dh);
        for (QPushButton *button : {pushButton, pushButton_2, pushButton_3, pushButton_4})
            button->move(button->x(), 360 + dh);
        for (QPushButton *button : {importShops, exportShops, tickAll, untickAll})
            button->move(600 + dw, button->y());
    }

private:
    static QString tr(const char *text)
    {
        return QCoreApplication::translate("ConnectDialog", text);
    }
};

} // namespace Ui

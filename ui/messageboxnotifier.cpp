#include "ui/messageboxnotifier.h"

#include <QMessageBox>
#include <QPushButton>

void MessageBoxNotifier::show(const Notice &notice)
{
    if (notice.kind == Notice::About) {
        QMessageBox::about(parent, notice.title, notice.text);
        return;
    }
    QMessageBox box(notice.kind == Notice::Critical ? QMessageBox::Critical
                                                    : QMessageBox::Information,
                    notice.title, notice.text,
                    notice.button == Notice::Close ? QMessageBox::Close : QMessageBox::Ok, parent);
    box.setInformativeText(notice.detail);
    box.setDetailedText(notice.detailedText);
    box.exec();
}

int MessageBoxNotifier::ask(const Notice &question)
{
    QMessageBox box(QMessageBox::Question, question.title, question.text, QMessageBox::NoButton,
                    parent);
    box.setInformativeText(question.detail);
    box.setDetailedText(question.detailedText);
    QList<QAbstractButton *> buttons;
    for (int i = 0; i < question.choices.size(); ++i) {
        const bool last = i == question.choices.size() - 1;
        buttons << box.addButton(question.choices.at(i),
                                 last ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
        box.setEscapeButton(buttons.last());
    }
    box.exec();
    const int chosen = buttons.indexOf(box.clickedButton());
    return chosen >= 0 ? chosen : int(buttons.size()) - 1;
}

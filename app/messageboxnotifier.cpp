#include "app/messageboxnotifier.h"

#include <QMessageBox>

void MessageBoxNotifier::show(const Notice &notice)
{
    if (notice.kind == Notice::About) {
        QMessageBox::about(parent, notice.title, notice.text);
        return;
    }
    QMessageBox box(notice.kind == Notice::Critical ? QMessageBox::Critical
                                                    : QMessageBox::Information,
                    notice.title, notice.text,
                    notice.button == Notice::Close ? QMessageBox::Close : QMessageBox::Ok,
                    parent);
    box.setInformativeText(notice.detail);
    box.exec();
}

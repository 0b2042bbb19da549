#include "app/messageboxnotifier.h"

#include <QMessageBox>

void MessageBoxNotifier::show(const Notice &notice)
{
    const QMessageBox::StandardButton button =
        notice.button == Notice::Close ? QMessageBox::Close : QMessageBox::Ok;
    switch (notice.kind) {
    case Notice::Critical:
        QMessageBox::critical(parent, notice.title, notice.text, button);
        break;
    case Notice::Information:
        QMessageBox::information(parent, notice.title, notice.text, button);
        break;
    case Notice::About:
        QMessageBox::about(parent, notice.title, notice.text);
        break;
    }
}

#include "ui/messageboxnotifier.h"

#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

MessageBoxNotifier::~MessageBoxNotifier()
{
    delete box;
    // Closed boxes waiting for their deferred deletion, which may never come.
    for (const QPointer<QMessageBox> &closed : qAsConst(closedBoxes))
        delete closed;
}

void MessageBoxNotifier::open(const Notice &notice, int similar)
{
    // A box left open by a caller that stopped waiting (the program quits).
    delete box;
    closedBoxes.erase(std::remove_if(closedBoxes.begin(), closedBoxes.end(),
                                     [](const QPointer<QMessageBox> &b) { return b.isNull(); }),
                      closedBoxes.end());
    skipButton = nullptr;
    choiceButtons.clear();

    QMessageBox::Icon icon = QMessageBox::Information;
    if (notice.kind == Notice::Critical)
        icon = QMessageBox::Critical;
    else if (notice.kind == Notice::Question)
        icon = QMessageBox::Question;
    box = new QMessageBox(icon, notice.title, notice.text, QMessageBox::NoButton, parent);
    // A box as narrow as a short text would break the line saying which
    // printer it is about; Qt still wraps it when it is wider than the screen allows.
    QString detail = notice.detail;
    if (!detail.contains(QLatin1Char('\n')))
        detail.replace(QLatin1Char(' '), QChar::Nbsp);
    box->setInformativeText(detail);
    box->setDetailedText(notice.detailedText);
    QPushButton *main = nullptr;
    if (notice.kind == Notice::Question) {
        for (int i = 0; i < notice.choices.size(); ++i) {
            const bool last = i == notice.choices.size() - 1;
            choiceButtons << box->addButton(notice.choices.at(i), last ? QMessageBox::RejectRole
                                                                       : QMessageBox::AcceptRole);
        }
        if (!choiceButtons.isEmpty()) {
            box->setDefaultButton(qobject_cast<QPushButton *>(choiceButtons.first()));
            box->setEscapeButton(choiceButtons.last());
        }
    } else {
        if (notice.kind == Notice::About) {
            // As QMessageBox::about: the program's icon in the box.
            const QIcon windowIcon = box->windowIcon();
            box->setIconPixmap(windowIcon.pixmap(windowIcon.actualSize(QSize(64, 64))));
        }
        // Hidden until boxes of its kind wait. Of the box's own role, so that it
        // stands left of the box's own button in every box, which keeps its place
        // and stays the one for Enter and Escape.
        const bool close = notice.button == Notice::Close;
        skipButton = box->addButton(skipText(similar),
                                    close ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        skipButton->setAutoDefault(false);
        main = box->addButton(close ? QMessageBox::Close : QMessageBox::Ok);
        // Adding a button shows the others.
        skipButton->setVisible(similar > 0);
        box->setDefaultButton(main);
        box->setEscapeButton(main);
    }
    QMessageBox *shown = box;
    QObject::connect(shown, &QDialog::finished, shown, [this, shown] {
        QAbstractButton *clicked = shown->clickedButton();
        const bool skip = clicked && clicked == skipButton;
        const int choice = int(choiceButtons.indexOf(clicked));
        // Not deleted here: this is its own signal.
        if (box == shown)
            box.clear();
        closedBoxes.append(shown);
        shown->deleteLater();
        answered(choice, skip);
    });
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

void MessageBoxNotifier::similarChanged(int similar)
{
    if (!box || !skipButton)
        return;
    skipButton->setText(skipText(similar));
    skipButton->setVisible(similar > 0);
}

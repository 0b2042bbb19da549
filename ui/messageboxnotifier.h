#pragma once

#include "ui/boxqueue.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QMessageBox;
class QPushButton;

// Shows each notice as a modal QMessageBox over the given parent (none for a free
// box), one box at a time.
class MessageBoxNotifier : public BoxQueue
{
public:
    explicit MessageBoxNotifier(QWidget *parent = nullptr) : parent(parent) {}
    ~MessageBoxNotifier() override;

protected:
    void open(const Notice &notice, int similar) override;
    void similarChanged(int similar) override;

private:
    QPointer<QWidget> parent;
    QPointer<QMessageBox> box;
    QList<QPointer<QMessageBox>> closedBoxes;
    QPushButton *skipButton = nullptr;
    // A question's choices, in order.
    QList<QAbstractButton *> choiceButtons;
};

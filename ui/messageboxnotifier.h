#pragma once

#include "core/notifier.h"

#include <QPointer>
#include <QWidget>

// Shows each notice as a modal QMessageBox over the given parent (none for a free box).
class MessageBoxNotifier : public Notifier
{
public:
    explicit MessageBoxNotifier(QWidget *parent = nullptr) : parent(parent) {}
    void show(const Notice &notice) override;
    int ask(const Notice &question) override;

private:
    QPointer<QWidget> parent;
};

#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers every modal widget that becomes active (a file dialog, a settings
// dialog) from inside its exec(), so that a test never waits on a person. The
// answer must close the widget; a widget shown again is answered again.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(std::function<void(QWidget *)> answer)
    {
        QObject::connect(&timer, &QTimer::timeout, this, [this, answer] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ++answered;
                answer(modal);
            }
        });
        timer.start(10);
    }

    int answered = 0;

private:
    QTimer timer;
};

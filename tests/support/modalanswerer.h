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
    using Answer = std::function<void(QWidget *)>;

    explicit ModalAnswerer(Answer answer) : answer(std::move(answer))
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ++answered;
                this->answer(modal);
            }
        });
        timer.start();
    }

    int answered = 0;

private:
    Answer answer;
    QTimer timer;
};

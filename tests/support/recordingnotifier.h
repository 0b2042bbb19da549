#pragma once

#include "core/notifier.h"

#include <QCoreApplication>
#include <QList>
#include <QTest>

#include <functional>

inline char *toString(const Notice &notice)
{
    return qstrdup(
        QStringLiteral("box %1 \"%2\" \"%3\" button %4 detail \"%5\" choices \"%6\" "
                       "details \"%7\"")
            .arg(int(notice.kind))
            .arg(notice.title, notice.text)
            .arg(int(notice.button))
            .arg(notice.detail, notice.choices.join(QLatin1Char('|')), notice.detailedText)
            .toUtf8()
            .constData());
}

// Records every notice instead of showing a box, and runs `whileShown` the way a
// real box runs its event loop. A test takes the notices it expects.
class RecordingNotifier : public Notifier
{
public:
    void show(const Notice &notice) override
    {
        notices.append(notice);
        if (whileShown)
            whileShown();
    }

    // A question is recorded like any notice and answered with the next of
    // `answers` (an index into its choices); with none left, with its last choice.
    int ask(const Notice &question) override
    {
        show(question);
        return answers.isEmpty() ? int(question.choices.size()) - 1 : answers.takeFirst();
    }

    bool isEmpty() const { return notices.isEmpty(); }
    Notice take() { return notices.isEmpty() ? Notice() : notices.takeFirst(); }

    QList<Notice> notices;
    std::function<void()> whileShown;
    QList<int> answers;
};

// Fails unless exactly this notice is the next one recorded.
#define KELM_EXPECT_NOTICE(notifier, ...) QCOMPARE((notifier).take(), (Notice{__VA_ARGS__}))

// Fails, naming the box, if one was shown that the test did not take.
#define KELM_EXPECT_NO_NOTICE(notifier) QCOMPARE((notifier).take(), Notice())

// A recording notifier for each test function. A test class inherits it beside
// QObject and calls these from init() and cleanup().
class NotifierFixture
{
protected:
    void resetNotifier() { notifier = RecordingNotifier(); }
    // No box left that the test did not take; what was released with
    // deleteLater() is gone before the next test.
    void checkNotifier()
    {
        KELM_EXPECT_NO_NOTICE(notifier);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    RecordingNotifier notifier;
};

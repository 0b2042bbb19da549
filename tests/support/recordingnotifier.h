#pragma once

#include "app/notifier.h"

#include <QList>
#include <QTest>

#include <functional>

inline char *toString(const Notice &notice)
{
    return qstrdup(QStringLiteral("box %1 \"%2\" \"%3\" button %4 detail \"%5\"")
                       .arg(int(notice.kind))
                       .arg(notice.title, notice.text)
                       .arg(int(notice.button))
                       .arg(notice.detail)
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

    bool isEmpty() const { return notices.isEmpty(); }
    Notice take() { return notices.isEmpty() ? Notice() : notices.takeFirst(); }

    QList<Notice> notices;
    std::function<void()> whileShown;
};

// Fails unless exactly this notice is the next one recorded.
#define KELM_EXPECT_NOTICE(notifier, ...) QCOMPARE((notifier).take(), (Notice{__VA_ARGS__}))

// Fails, naming the box, if one was shown that the test did not take.
#define KELM_EXPECT_NO_NOTICE(notifier) QCOMPARE((notifier).take(), Notice())

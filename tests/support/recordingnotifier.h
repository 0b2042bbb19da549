#pragma once

#include "app/notifier.h"

#include <QList>
#include <QTest>

// Records every notice instead of showing a box. A test takes the notices it
// expects with take(); whatever is left over is an unexpected box.
class RecordingNotifier : public Notifier
{
public:
    void show(const Notice &notice) override { notices.append(notice); }

    bool isEmpty() const { return notices.isEmpty(); }
    int count() const { return notices.size(); }
    Notice take() { return notices.isEmpty() ? Notice{} : notices.takeFirst(); }
    void clear() { notices.clear(); }
    QString describeFirst() const
    {
        return notices.isEmpty() ? QString()
                                 : QStringLiteral("unexpected message box: ") +
                                       notices.first().title + QStringLiteral(" / ") +
                                       notices.first().text;
    }

    QList<Notice> notices;
};

// Fails the current test unless exactly this notice is the next one recorded.
#define KELM_EXPECT_NOTICE(notifier, ...)                                                          \
    do {                                                                                           \
        QVERIFY2(!(notifier).isEmpty(), "expected a message box, none was shown");                \
        const Notice expected_ = Notice{__VA_ARGS__};                                              \
        const Notice actual_ = (notifier).take();                                                  \
        QCOMPARE(int(actual_.kind), int(expected_.kind));                                          \
        QCOMPARE(actual_.title, expected_.title);                                                  \
        QCOMPARE(actual_.text, expected_.text);                                                    \
        QCOMPARE(int(actual_.button), int(expected_.button));                                      \
    } while (false)

// Fails the current test if any box was shown that the test did not expect.
#define KELM_EXPECT_NO_NOTICE(notifier)                                                            \
    QVERIFY2((notifier).isEmpty(), qPrintable((notifier).describeFirst()))

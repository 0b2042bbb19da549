#include "support/modalanswerer.h"
#include "ui/boxqueue.h"
#include "ui/messageboxnotifier.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString refused = QStringLiteral("Połączenie zostało odrzucone");
const QString programmed = QStringLiteral("Grafika już zaprogramowana");

Notice box(Notice::Kind kind, const QString &text, const QString &printer)
{
    return {kind, QStringLiteral("Kelm Graphics"), text,
            kind == Notice::Critical ? Notice::Close : Notice::Ok, printer};
}

// Presses a button of each box as soon as the boxes already on their way have
// come: "Pomiń podobne" where `skipping` says so and the button is there, else
// the default button.
class ScriptedBoxes : public BoxQueue
{
public:
    struct Opened
    {
        QString printer;
        QList<int> similar; // at opening, then as it changed
    };
    QList<Opened> opened;
    QString skipping;

protected:
    void open(const Notice &notice, int similar) override
    {
        opened.append({notice.detail, {similar}});
        QTimer::singleShot(0, &context, [this, notice] {
            answered(-1, notice.text == skipping && opened.last().similar.last() > 0);
        });
    }
    void similarChanged(int similar) override { opened.last().similar.append(similar); }

private:
    QObject context;
};

// Shows every notice from an event of its own, the way each printer's
// Connection does, and records who got its answer back.
template <typename Queue>
void showAll(Queue &queue, const QList<Notice> &notices, QStringList &returned)
{
    for (const Notice &notice : notices)
        QTimer::singleShot(0, [&queue, &returned, notice] {
            queue.show(notice);
            returned << notice.detail;
        });
    QTRY_COMPARE_WITH_TIMEOUT(returned.size(), notices.size(), 10000);
    returned.sort();
}

} // namespace

class TstBoxQueue : public QObject
{
    Q_OBJECT

private slots:
    // One box at a time; "Pomiń podobne" drops the waiting boxes of its kind and
    // no other; the default button closes only the open box; a box alone of its
    // kind has no second button. Every caller gets its answer back.
    void skipDropsOnlyItsKind()
    {
        ScriptedBoxes queue;
        queue.skipping = refused;
        const QList<Notice> notices = {
            box(Notice::Information, refused, "1"),
            box(Notice::Information, refused, "2"),
            box(Notice::Critical, programmed, "3"),
            box(Notice::Information, refused, "4"),
            box(Notice::Critical, refused, "5"),
            box(Notice::Critical, programmed, "6"),
            {Notice::Information, "Inny tytuł", refused, Notice::Ok, "7"}};
        QStringList returned;
        showAll(queue, notices, returned);
        QCOMPARE(returned, QStringList({"1", "2", "3", "4", "5", "6", "7"}));
        QCOMPARE(queue.opened.size(), 5);
        QCOMPARE(queue.opened[0].printer, QStringLiteral("1"));
        QCOMPARE(queue.opened[0].similar, QList<int>({0, 1, 2}));
        QCOMPARE(queue.opened[1].printer, QStringLiteral("3"));
        QCOMPARE(queue.opened[1].similar, QList<int>({1}));
        QCOMPARE(queue.opened[2].printer, QStringLiteral("5")); // a critical box is another kind
        QCOMPARE(queue.opened[2].similar, QList<int>({0}));
        QCOMPARE(queue.opened[3].printer, QStringLiteral("6")); // not dropped by Enter on "3"
        QCOMPARE(queue.opened[4].printer, QStringLiteral("7"));
        QCOMPARE(queue.waiting(), 0);
    }

    // The real boxes: the second button appears and counts while the box is open,
    // Enter stays with the box's own button.
    void messageBoxes()
    {
        MessageBoxNotifier notifier;
        QStringList seen;
        ModalAnswerer answerer([&](QWidget *modal) {
            auto *shown = qobject_cast<QMessageBox *>(modal);
            QVERIFY(shown);
            QString line = shown->informativeText() + ':';
            QPushButton *skip = nullptr;
            for (QAbstractButton *button : shown->buttons()) {
                if (!button->isVisible())
                    continue;
                line += ' ' + (button == shown->defaultButton() ? QStringLiteral("<domyślny>")
                                                                : button->text());
                if (button->text().startsWith(QStringLiteral("Pomiń")))
                    skip = qobject_cast<QPushButton *>(button);
            }
            seen << line;
            // Left of the box's own button, which keeps its place.
            if (skip)
                QVERIFY(skip->x() < shown->defaultButton()->x());
            if (skip && seen.size() == 2)
                skip->click();
            else
                QTest::keyClick(shown, Qt::Key_Return);
        });
        const QList<Notice> notices = {
            box(Notice::Information, refused, "1"), box(Notice::Information, refused, "2"),
            box(Notice::Information, refused, "3"), box(Notice::Critical, programmed, "4"),
            box(Notice::Information, refused, "5")};
        QStringList returned;
        showAll(notifier, notices, returned);
        QCOMPARE(returned, QStringList({"1", "2", "3", "4", "5"}));
        QCOMPARE(seen, QStringList({"1: Pomiń podobne (3) <domyślny>",
                                    "2: Pomiń podobne (2) <domyślny>", "4: <domyślny>"}));
    }
};

QTEST_MAIN(TstBoxQueue)
#include "tst_boxqueue.moc"

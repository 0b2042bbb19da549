// One box at a time: "Pomiń podobne" drops the waiting boxes of the open one's
// kind (same box, same title, about another printer) and Enter only the open one.
#include "support/modalanswerer.h"
#include "ui/messageboxnotifier.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TstBoxQueue : public QObject
{
    Q_OBJECT

private slots:
    void skipDropsOnlyItsKind()
    {
        MessageBoxNotifier notifier;
        QStringList seen;
        ModalAnswerer answerer([&](QWidget *modal) {
            auto *shown = qobject_cast<QMessageBox *>(modal);
            QVERIFY(shown);
            QString line = shown->informativeText() + ':';
            QAbstractButton *skip = nullptr;
            for (QAbstractButton *button : shown->buttons()) {
                if (!button->isVisible())
                    continue;
                line += ' ' + (button == shown->defaultButton() ? QStringLiteral("<domyślny>")
                                                                : button->text());
                if (button->text().startsWith(QStringLiteral("Pomiń")))
                    skip = button;
            }
            seen << line;
            if (skip && seen.size() == 2)
                skip->click();
            else
                QTest::keyClick(shown, Qt::Key_Return);
        });
        const QString refused = QStringLiteral("Połączenie zostało odrzucone");
        const QString title = QStringLiteral("Kelm Graphics");
        const QList<Notice> notices = {
            {Notice::Information, title, refused, Notice::Ok, "1"},
            {Notice::Information, title, refused, Notice::Ok, "2"},
            {Notice::Information, title, refused, Notice::Ok, "3"},
            {Notice::Critical, title, QStringLiteral("Grafika już zaprogramowana"), Notice::Close,
             "4"},
            {Notice::Information, title, refused, Notice::Ok, "5"},
            {Notice::Critical, title, refused, Notice::Close, "6"},
            {Notice::Information, QStringLiteral("Inny tytuł"), refused, Notice::Ok, "7"}};
        // Each from an event of its own, as each printer's Connection shows them.
        QStringList returned;
        for (const Notice &notice : notices)
            QTimer::singleShot(0, [&notifier, &returned, notice] {
                notifier.show(notice);
                returned << notice.detail;
            });
        QTRY_COMPARE_WITH_TIMEOUT(returned.size(), notices.size(), 10000);
        QCOMPARE(seen,
                 QStringList({"1: Pomiń podobne (3) <domyślny>", "2: Pomiń podobne (2) <domyślny>",
                              "4: <domyślny>", "6: <domyślny>", "7: <domyślny>"}));
    }
};

QTEST_MAIN(TstBoxQueue)
#include "tst_boxqueue.moc"

// The main window: pictures opened, the preview, settings kept. One box at a
// time: "Pomiń podobne" drops the waiting boxes of the open one's kind (same
// box, same title, about another printer) and Enter only the open one.
#include "core/printer/frame.h"
#include "support/greypng.h"
#include "support/modalanswerer.h"
#include "support/windowfixture.h"
#include "ui/messageboxnotifier.h"
#include "ui/startup.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sys/stat.h>

class TstMainWindow : public QObject, WindowFixture
{
    Q_OBJECT

    // Writes a picture into the test folder and returns its path.
    QString savePicture(int width, int height, const QString &name = QStringLiteral("logo.png"))
    {
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter(&picture).fillRect(0, 0, width / 2, height, Qt::black);
        const QString path = folder->filePath(name);
        return picture.save(path) ? path : QString();
    }

    QLabel *label(const char *name) { return t->child<QLabel>(name); }
    QString scaleLabels()
    {
        return label("scaleXValueLabel")->text() + label("scaleYValueLabel")->text();
    }
    qint64 previewKey() { return label("previewLabel")->pixmap(Qt::ReturnByValue).cacheKey(); }
    QString loadedTitle() { return "Kelm Graphics0.1" + t->imagePath(); }

private slots:
    void initTestCase() { configureApplication(*qApp); }

    void init() { openFixture(); }
    void cleanup() { closeFixture(); }

    void startsUp()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Kelm Graphics"));
        QCOMPARE(label("statusLabel")->text(),
                 QStringLiteral("Drukarka KELM Qarto 3 Niepodłączona"));
        QCOMPARE(label("statusLabel")->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(t->sliderX()->value() + t->sliderY()->value(), 200);
        QCOMPARE(scaleLabels(), QStringLiteral("100%100%"));
        QVERIFY(t->child<QRadioButton>("headerRadio")->isChecked());
        QVERIFY(!t->child<QPushButton>("sendButton")->isEnabled());

        t->child<QAction>("aboutAction")->trigger();
        const Notice about = notifier.take();
        QCOMPARE(int(about.kind), int(Notice::About));
        QVERIFY2(about.text.startsWith("Kelm Graphics 0.1\n"), qPrintable(about.text));
    }

    void scaleSliders_data()
    {
        // Steps: "X60" sets sliderX to 60, "Y60" sliderY, "lock" ticks the lock.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("labels");
        QTest::addColumn<QSize>("preview");
        QTest::addColumn<bool>("lastStepRedraws");
        QTest::newRow("locked, X 100 to 60: Y follows")
            << QStringList{"lock", "X60"} << " 60% 60%" << QSize(171, 115) << true;
        QTest::newRow("locked, Y to the 60 X holds, then X moves Y")
            << QStringList{"X60", "Y80", "lock", "Y60", "X61"} << " 61% 61%" << QSize(174, 117)
            << true;
        QTest::newRow("unlocked") << QStringList{"X60"} << " 60%100%" << QSize(171, 192) << true;
        QTest::newRow("X to 0 keeps label and preview")
            << QStringList{"X60", "X0"} << " 60%100%" << QSize(171, 192) << false;
        QTest::newRow("X at 0, then Y: empty preview")
            << QStringList{"X0", "Y50"} << "100% 50%" << QSize(0, 0) << true;
    }

    void scaleSliders()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, labels);
        QFETCH(QSize, preview);
        QFETCH(bool, lastStepRedraws);
        QVERIFY(t->openPicture(savePicture(300, 200)));
        qint64 keyBeforeLastStep = 0;
        for (const QString &step : steps) {
            keyBeforeLastStep = previewKey();
            if (step == QLatin1String("lock"))
                t->child<QCheckBox>("keepProportionsCheck")->setChecked(true);
            else
                (step[0] == 'X' ? t->sliderX() : t->sliderY())->setValue(step.midRef(1).toInt());
        }
        QCOMPARE(scaleLabels(), labels);
        QCOMPARE(label("previewLabel")->pixmap(Qt::ReturnByValue).size(), preview);
        QCOMPARE(previewKey() != keyBeforeLastStep, lastStepRedraws);
    }

    // Through the real dialog: a file that does not load is reported, the dialog
    // comes back, and the picture, title and preview stay until one loads.
    void openRepeatsDialogUntilLoaded()
    {
        QVERIFY(t->openPicture(savePicture(300, 200)));
        const QString title = window->windowTitle();
        const qint64 imageKey = t->image().cacheKey();
        const qint64 shownKey = previewKey();
        const QString bad = folder->filePath(QStringLiteral("brak.png"));
        QStringList choices = {bad, savePicture(20, 10, QStringLiteral("drugi.png"))};
        ModalAnswerer answerer([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog || choices.isEmpty()) {
                modal->close();
                return;
            }
            if (choices.size() == 1) { // after the bad choice
                QCOMPARE(window->windowTitle(), title);
                QCOMPARE(t->image().cacheKey(), imageKey);
                QCOMPARE(previewKey(), shownKey);
                QVERIFY(label("edgeLabel")->pixmap(Qt::ReturnByValue).isNull());
            }
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Open File"));
            // selectFile() leaves a focused file name field alone: the name is typed too.
            dialog->selectFile(choices.first());
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                ->setText(choices.first());
            choices.removeFirst();
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept is protected
        });
        t->child<QAction>("openAction")->trigger();

        QCOMPARE(answerer.answered, 2);
        KELM_EXPECT_NOTICE(notifier, Notice::Information, QStringLiteral("Kelm Graphics"),
                           "Cannot load " + QDir::toNativeSeparators(bad) + ".", Notice::Ok);
        QCOMPARE(t->image().size(), QSize(20, 10));
        QCOMPARE(window->windowTitle(), loadedTitle());
    }

    // A folder made outside Qt with a Polish name: the locale codec must not make
    // it unreachable. The next start reloads the picture silently.
    void reloadsFromFolderWithPolishName()
    {
        const QString path = folder->filePath(QStringLiteral("Łódź żółć/logo ąę.png"));
        QVERIFY(::mkdir(QFileInfo(path).path().toUtf8(), 0700) == 0);
        QVERIFY(::rename(savePicture(4000, 40).toUtf8(), path.toUtf8()) == 0);
        QVERIFY(t->openPicture(path));
        QCOMPARE(window->windowTitle(), loadedTitle());

        startWindow();
        QCOMPARE(t->imagePath(), path);
        QCOMPARE(t->image().size(), QSize(4000, 40));
        QCOMPARE(t->image().format(), QImage::Format_Mono);
        QCOMPARE(t->previewPixmap().size(), QSize(285, 192));
        QCOMPARE(window->windowTitle(), QStringLiteral("Kelm Graphics"));
    }

    // Qt's own words are Polish; the program's own texts stay as they are.
    void standardButtonsInPolish()
    {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Błąd"), QStringLiteral("x"),
                        QMessageBox::Close);
        QCOMPARE(box.button(QMessageBox::Close)->text(), QStringLiteral("Zamknij"));
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Anuluj"));
    }

    // A small file announcing 40000 x 40000 dots cannot be loaded: reported when
    // opened, silent as the stored picture. The busy cursor is gone by then.
    void enormousPictureRefused()
    {
        QFile file(folder->filePath(QStringLiteral("kropki.png")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(greyPng(40000, 40000, 16)) > 0);
        file.close();
        bool busyDuringBox = true;
        notifier.whileShown = [&] { busyDuringBox = QGuiApplication::overrideCursor(); };
        QVERIFY(!t->openPicture(file.fileName()));
        KELM_EXPECT_NOTICE(notifier, Notice::Information, QStringLiteral("Kelm Graphics"),
                           "Cannot load " + QDir::toNativeSeparators(file.fileName()) + ".",
                           Notice::Ok);
        QVERIFY(!busyDuringBox);
        QVERIFY(t->image().isNull());

        QVERIFY(t->openPicture(savePicture(300, 200)));
        t->imagePath() = file.fileName();
        startWindow();
        QVERIFY(t->image().isNull());
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void sendEnabledOnlyThroughEnableSendIfReady()
    {
        QPushButton *send = t->child<QPushButton>("sendButton");
        int &linkMode = t->linkSettings().linkMode;
        linkMode = 1;
        t->enableSendIfReady();
        QVERIFY2(!send->isEnabled(), "no picture yet");
        linkMode = 0;
        QVERIFY(t->openPicture(savePicture(300, 200)));
        QVERIFY2(!send->isEnabled(), "no link");
        linkMode = 1;
        t->enableSendIfReady();
        QVERIFY(send->isEnabled());
        // Never disabled again, not even when the link goes.
        linkMode = 0;
        t->enableSendIfReady();
        QVERIFY(send->isEnabled());
    }

    // A colour picture gives 1 for its black dots, from the full picture; the
    // placement is read once per send.
    void sendBuildsRasterAndFrameOnce()
    {
        QVERIFY(t->openPicture(savePicture(832, 192)));
        t->child<QRadioButton>("footerRadio")->setChecked(true);
        t->sendWhileOff(); // no printer: only the raster and the frame are built
        QCOMPARE(t->lineCount(), 96);
        QCOMPARE(t->logoHex(), (QByteArray(52, 'F') + QByteArray(52, '0')).repeated(96));
        const QByteArray frame = t->frameTemplate();
        QCOMPARE(frame.at(framePlacementFlag), '1');
        t->child<QRadioButton>("headerRadio")->setChecked(true);
        QCOMPARE(t->frameTemplate(), frame);
    }

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

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"

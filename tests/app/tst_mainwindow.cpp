#include "app/startup.h"
#include "support/mainwindowtester.h"
#include "support/modalanswerer.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QTest>

#include <memory>

namespace {

QImage rgbPicture(int width, int height, Qt::GlobalColor colour = Qt::black)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

// Black on the left half, white on the right: dithering leaves it exact.
QImage halfBlackPicture()
{
    QImage picture = rgbPicture(832, 192, Qt::white);
    QPainter(&picture).fillRect(0, 0, 416, 192, Qt::black);
    return picture;
}

qint64 previewKey(MainWindowTester &t)
{
    return t.previewLabel()->pixmap(Qt::ReturnByValue).cacheKey();
}

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsUp();
    void aboutShowsVersion();
    void scaleSliders_data();
    void scaleSliders();
    void failedLoadKeepsPicture_data();
    void failedLoadKeepsPicture();
    void openRepeatsDialogUntilLoaded_data();
    void openRepeatsDialogUntilLoaded();
    void loadsFromFolderWithPolishName();
    void previewIsAlways285x192_data();
    void previewIsAlways285x192();
    void sendEnabledOnlyThroughEnableSendIfReady();
    void sendWithEmptyScaleSendsNothing_data();
    void sendWithEmptyScaleSendsNothing();
    void sendBuildsRasterAndFrame_data();
    void sendBuildsRasterAndFrame();

private:
    // Writes the picture into the test folder and returns its path.
    QString savePicture(const QImage &picture, const QString &name = QStringLiteral("logo.png"));

    std::unique_ptr<TestFolder> folder;
    RecordingNotifier notifier;
    std::unique_ptr<MainWindow> window;
};

void TstMainWindow::initTestCase()
{
    configureApplication(*qApp);
}

void TstMainWindow::init()
{
    folder = std::make_unique<TestFolder>();
    notifier.clear();
    window = std::make_unique<MainWindow>(&notifier);
}

void TstMainWindow::cleanup()
{
    window.reset(); // saves settings.txt, which must not complain either
    folder.reset();
    KELM_EXPECT_NO_NOTICE(notifier);
}

QString TstMainWindow::savePicture(const QImage &picture, const QString &name)
{
    const QString path = folder->filePath(name);
    if (!picture.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TstMainWindow::startsUp()
{
    MainWindowTester t(*window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelm Graphics"));
    QCOMPARE(t.statusLabel()->text(), QStringLiteral("Drukarka KELM Qarto 3 Niepodłączona"));
    QCOMPARE(t.statusLabel()->styleSheet(), QStringLiteral("color: red"));
    QCOMPARE(t.sliderX()->value(), 100);
    QCOMPARE(t.sliderY()->value(), 100);
    QCOMPARE(t.scaleXValueLabel()->text(), QStringLiteral("100%"));
    QCOMPARE(t.scaleYValueLabel()->text(), QStringLiteral("100%"));
    QVERIFY(t.headerRadio()->isChecked());
    QVERIFY(!t.footerRadio()->isChecked());
    QVERIFY(!t.keepProportionsCheck()->isChecked());
    QVERIFY(!t.sendButton()->isEnabled());
    QVERIFY(t.image().isNull());

    const QList<QAction *> bar = window->menuBar()->actions();
    QCOMPARE(bar.size(), 3);
    QCOMPARE(bar.at(0)->menu(), t.fileMenu());
    QCOMPARE(bar.at(0)->text(), QStringLiteral("&Plik"));
    QCOMPARE(bar.at(1), t.settingsAction());
    QCOMPARE(bar.at(1)->text(), QStringLiteral("&Ustawienia"));
    QCOMPARE(bar.at(2), t.aboutAction());
    QCOMPARE(bar.at(2)->text(), QStringLiteral("O programie"));
    QCOMPARE(t.fileMenu()->actions(), (QList<QAction *>{t.openAction(), t.exitAction()}));

    QCOMPARE(t.openAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(t.exitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    QCOMPARE(t.settingsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
    QVERIFY(t.aboutAction()->shortcut().isEmpty());
    QCOMPARE(t.sendButton()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
}

void TstMainWindow::aboutShowsVersion()
{
    MainWindowTester(*window).aboutAction()->trigger();
    QCOMPARE(notifier.count(), 1);
    const Notice about = notifier.take();
    QCOMPARE(int(about.kind), int(Notice::About));
    QCOMPARE(about.title, QStringLiteral("O programie"));
    QVERIFY2(about.text.contains(QStringLiteral("Kelm Graphics 0.1")), qPrintable(about.text));
}

void TstMainWindow::scaleSliders_data()
{
    // Steps: "X60" sets sliderX to 60, "Y60" sliderY, "lock" ticks the lock.
    QTest::addColumn<bool>("picture");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QString>("xLabel");
    QTest::addColumn<QString>("yLabel");
    QTest::addColumn<QSize>("preview");
    QTest::addColumn<bool>("lastStepRedraws");

    QTest::newRow("locked, X to 60: Y follows")
        << true << QStringList{"lock", "X60"} << 60 << 60 << " 60%"
        << " 60%" << QSize(171, 115) << true;
    QTest::newRow("locked, Y to the 60 that X holds")
        << true << QStringList{"X60", "Y80", "lock", "Y60"} << 60 << 60 << " 60%"
        << " 60%" << QSize(171, 115) << true;
    QTest::newRow("locked, X moved after that still mirrors")
        << true << QStringList{"X60", "Y80", "lock", "Y60", "X61"} << 61 << 61 << " 61%"
        << " 61%" << QSize(174, 117) << true;
    QTest::newRow("unlocked, X to 60") << true << QStringList{"X60"} << 60 << 100 << " 60%"
                                       << "100%" << QSize(171, 192) << true;
    QTest::newRow("one digit") << true << QStringList{"Y5"} << 100 << 5 << "100%"
                               << "  5%" << QSize(285, 10) << true;
    QTest::newRow("ticking the lock moves nothing")
        << true << QStringList{"X60", "lock"} << 60 << 100 << " 60%"
        << "100%" << QSize(171, 192) << false;
    QTest::newRow("X to 0 keeps label and preview")
        << true << QStringList{"X60", "X0"} << 0 << 100 << " 60%"
        << "100%" << QSize(171, 192) << false;
    QTest::newRow("locked, X to 0 mirrors nothing")
        << true << QStringList{"lock", "X0"} << 0 << 100 << "100%"
        << "100%" << QSize(285, 192) << false;
    QTest::newRow("X at 0, then Y: empty preview")
        << true << QStringList{"X0", "Y50"} << 0 << 50 << "100%"
        << " 50%" << QSize(0, 0) << true;
    QTest::newRow("no picture: nothing follows")
        << false << QStringList{"lock", "X60"} << 60 << 100 << "100%"
        << "100%" << QSize(416, 192) << false;
}

void TstMainWindow::scaleSliders()
{
    QFETCH(bool, picture);
    QFETCH(QStringList, steps);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QString, xLabel);
    QFETCH(QString, yLabel);
    QFETCH(QSize, preview);
    QFETCH(bool, lastStepRedraws);

    MainWindowTester t(*window);
    if (picture)
        QVERIFY(t.loadFile(savePicture(rgbPicture(300, 200))));
    qint64 keyBeforeLastStep = 0;
    for (const QString &step : steps) {
        keyBeforeLastStep = previewKey(t);
        if (step == QLatin1String("lock"))
            t.keepProportionsCheck()->setChecked(true);
        else
            (step.startsWith('X') ? t.sliderX() : t.sliderY())->setValue(step.midRef(1).toInt());
    }

    QCOMPARE(t.sliderX()->value(), x);
    QCOMPARE(t.sliderY()->value(), y);
    QCOMPARE(t.scaleXValueLabel()->text(), xLabel);
    QCOMPARE(t.scaleYValueLabel()->text(), yLabel);
    QCOMPARE(t.previewLabel()->pixmap(Qt::ReturnByValue).size(), preview);
    QCOMPARE(previewKey(t) != keyBeforeLastStep, lastStepRedraws);
    QVERIFY(!t.syncingSliders());
}

void TstMainWindow::failedLoadKeepsPicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not a picture") << "notes.png" << QByteArray("no picture here\n");
    QTest::newRow("empty file") << "empty.bmp" << QByteArray();
    QTest::newRow("missing file") << "missing.png" << QByteArray();
}

void TstMainWindow::failedLoadKeepsPicture()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);

    MainWindowTester t(*window);
    const QString good = savePicture(rgbPicture(300, 200));
    QVERIFY(t.loadFile(good));
    const QString title = QStringLiteral("Kelm Graphics0.1") + good;
    QCOMPARE(window->windowTitle(), title);
    const qint64 imageKey = t.image().cacheKey();
    const qint64 previewPixmapKey = t.previewPixmap().cacheKey();
    const qint64 shownKey = previewKey(t);

    const QString bad = folder->filePath(name);
    if (!name.startsWith(QLatin1String("missing"))) {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QVERIFY(!t.loadFile(bad));
    KELM_EXPECT_NOTICE(notifier, Notice::Information, QGuiApplication::applicationDisplayName(),
                       "Cannot load " + QDir::toNativeSeparators(bad) + ".", Notice::Ok);
    QCOMPARE(t.imagePath(), good);
    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(t.image().cacheKey(), imageKey);
    QCOMPARE(t.previewPixmap().cacheKey(), previewPixmapKey);
    QCOMPARE(previewKey(t), shownKey);
    QVERIFY(t.edgeLabel()->pixmap(Qt::ReturnByValue).isNull());
}

void TstMainWindow::openRepeatsDialogUntilLoaded_data()
{
    // Each answer picks "bad" or "good" in the file dialog, or cancels it ("").
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("good file") << QStringList{"good"} << true;
    QTest::newRow("bad file, then good one") << QStringList{"bad", "good"} << true;
    QTest::newRow("bad file, then cancel") << QStringList{"bad", ""} << false;
    QTest::newRow("cancel") << QStringList{""} << false;
}

void TstMainWindow::openRepeatsDialogUntilLoaded()
{
    QFETCH(QStringList, answers);
    QFETCH(bool, loaded);

    MainWindowTester t(*window);
    const QString good = savePicture(rgbPicture(300, 200));
    const QString bad = folder->filePath(QStringLiteral("bad.png"));
    QFile badFile(bad);
    QVERIFY(badFile.open(QIODevice::WriteOnly));
    badFile.write("not a picture");
    badFile.close();

    QStringList remaining = answers;
    QStringList titles;
    ModalAnswerer answerer([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog || remaining.isEmpty()) {
            modal->close();
            return;
        }
        titles << dialog->windowTitle();
        const QString answer = remaining.takeFirst();
        if (answer.isEmpty()) {
            dialog->reject();
            return;
        }
        // selectFile() drops the earlier selection but leaves a focused file name
        // field alone, so the name is typed as well.
        const QString path = answer == QLatin1String("good") ? good : bad;
        dialog->selectFile(path);
        auto *fileName = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(fileName);
        fileName->setText(path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept is protected
    });
    t.openAction()->trigger();

    QCOMPARE(answerer.answered, answers.size());
    QCOMPARE(titles.count(QStringLiteral("Open File")), answers.size());
    for (int i = 0; i < answers.count(QStringLiteral("bad")); ++i)
        KELM_EXPECT_NOTICE(notifier, Notice::Information, QGuiApplication::applicationDisplayName(),
                           "Cannot load " + QDir::toNativeSeparators(bad) + ".", Notice::Ok);
    QCOMPARE(t.imagePath(), loaded ? good : QString());
    QCOMPARE(t.image().isNull(), !loaded);
}

void TstMainWindow::loadsFromFolderWithPolishName()
{
    const QString polishFolder = QStringLiteral("Łódź żółć");
    QVERIFY(QDir(folder->path()).mkdir(polishFolder));
    const QString path = savePicture(rgbPicture(300, 200), polishFolder + "/logo ąę.png");
    {
        MainWindowTester t(*window);
        QVERIFY(t.loadFile(path));
        QCOMPARE(t.imagePath(), path);
        QCOMPARE(window->windowTitle(), QStringLiteral("Kelm Graphics0.1") + path);
    }

    // The next start reloads it silently, and the title shows no path.
    window.reset();
    window = std::make_unique<MainWindow>(&notifier);
    MainWindowTester t(*window);
    QCOMPARE(t.imagePath(), path);
    QVERIFY(!t.image().isNull());
    QCOMPARE(t.previewPixmap().size(), QSize(285, 192));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelm Graphics"));
}

void TstMainWindow::previewIsAlways285x192_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("very wide") << QSize(4000, 40);
    QTest::newRow("tiny") << QSize(3, 2);
    QTest::newRow("tall") << QSize(20, 1500);
}

void TstMainWindow::previewIsAlways285x192()
{
    QFETCH(QSize, size);
    MainWindowTester t(*window);
    QVERIFY(t.loadFile(savePicture(rgbPicture(size.width(), size.height()))));
    QCOMPARE(t.image().size(), size);
    QCOMPARE(t.image().format(), QImage::Format_Mono);
    QCOMPARE(t.previewPixmap().size(), QSize(285, 192));
    QCOMPARE(t.previewLabel()->pixmap(Qt::ReturnByValue).size(), QSize(285, 192));
}

void TstMainWindow::sendEnabledOnlyThroughEnableSendIfReady()
{
    MainWindowTester t(*window);
    t.linkSettings().linkMode = 1;
    t.enableSendIfReady();
    QVERIFY2(!t.sendButton()->isEnabled(), "no picture yet");

    t.linkSettings().linkMode = 0;
    QVERIFY(t.loadFile(savePicture(rgbPicture(300, 200))));
    QVERIFY2(!t.sendButton()->isEnabled(), "no link");

    t.linkSettings().linkMode = 1;
    QVERIFY(!t.sendButton()->isEnabled());
    t.enableSendIfReady();
    QVERIFY(t.sendButton()->isEnabled());

    // Never disabled again, not even when the link goes.
    t.linkSettings().linkMode = 0;
    t.enableSendIfReady();
    QVERIFY(t.sendButton()->isEnabled());
}

void TstMainWindow::sendWithEmptyScaleSendsNothing_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("X 0") << 0 << 100;
    QTest::newRow("Y 0") << 100 << 0;
    QTest::newRow("Y 1") << 100 << 1;
}

void TstMainWindow::sendWithEmptyScaleSendsNothing()
{
    QFETCH(int, x);
    QFETCH(int, y);

    MainWindowTester t(*window);
    QVERIFY(t.loadFile(savePicture(rgbPicture(300, 200))));
    t.send(); // a full logo first: the empty one must not reuse it
    QCOMPARE(t.lineCount(), 96);
    t.sliderX()->setValue(x);
    t.sliderY()->setValue(y);
    t.send();

    QCOMPARE(notifier.count(), 1);
    const Notice notice = notifier.take();
    QCOMPARE(int(notice.kind), int(Notice::Information));
    QCOMPARE(notice.title, QStringLiteral("Kelm Graphics"));
    QCOMPARE(int(notice.button), int(Notice::Ok));
    QVERIFY(t.logoHex().isEmpty());
    QCOMPARE(t.lineCount(), 0);
}

void TstMainWindow::sendBuildsRasterAndFrame_data()
{
    QTest::addColumn<bool>("footer");
    QTest::addColumn<char>("flag");
    QTest::newRow("Nagłówek") << false << '0';
    QTest::newRow("Stopka") << true << '1';
}

void TstMainWindow::sendBuildsRasterAndFrame()
{
    QFETCH(bool, footer);
    QFETCH(char, flag);

    MainWindowTester t(*window);
    QVERIFY(t.loadFile(savePicture(halfBlackPicture())));
    (footer ? t.footerRadio() : t.headerRadio())->setChecked(true);
    t.send();

    // Black dots of a colour picture are 1; the raster comes from the full picture.
    QCOMPARE(t.lineCount(), 96);
    QCOMPARE(t.logoHex(), (QByteArray(52, 'F') + QByteArray(52, '0')).repeated(96));
    const QByteArray frame = t.frameTemplate();
    QCOMPARE(frame.size(), 130);
    QVERIFY(frame.startsWith("\x1BP251;"));
    QCOMPARE(frame.at(16), flag);

    // The placement is read once per send.
    (footer ? t.headerRadio() : t.footerRadio())->setChecked(true);
    QCOMPARE(t.frameTemplate(), frame);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"

// Window titles and the icon as the window system sees them, on a virtual X
// display of the test's own; skipped where Xvfb or xprop is missing.
#include "ui/startup.h"
#include "support/mainwindowtester.h"
#include "support/modalanswerer.h"
#include "support/testfolder.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Xvfb on a display number it picks itself; DISPLAY and the xcb platform are set
// for the QApplication made after it.
class VirtualDisplay
{
public:
    VirtualDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        int fds[2];
        if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty() ||
            ::pipe(fds) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            const QByteArray program = xvfb.toLocal8Bit();
            const QByteArray fd = QByteArray::number(fds[1]);
            ::close(fds[0]);
            ::execl(program.constData(), "Xvfb", "-displayfd", fd.constData(), "-nolisten", "tcp",
                    "-screen", "0", "1280x1024x24", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The number and a newline, written apart: closing early would kill the server.
        QByteArray number;
        char c = 0;
        while (pid > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.isEmpty() || c != '\n')
            return;
        qputenv("DISPLAY", ':' + number);
        qputenv("QT_QPA_PLATFORM", "xcb");
        // No GL: the windows here draw without it. Where Mesa is installed, Qt's
        // GLX probe loads Mesa's driver and unloads it at exit, and LeakSanitizer
        // then reports a block the driver still held as a leak of unknown origin.
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        running = true;
    }
    ~VirtualDisplay()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }

    bool running = false;

private:
    pid_t pid = -1;
};

// What xprop reads from the window: the value of `property`, or its complaint.
QString xprop(QWidget *window, const char *property)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()),
                                            QStringLiteral("-notype"), QLatin1String(property)});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString shownTitle(QWidget *window)
{
    const QString line = xprop(window, "_NET_WM_NAME");
    const QString prefix = QStringLiteral("_NET_WM_NAME = \"");
    return line.startsWith(prefix) ? line.mid(prefix.size()).chopped(1) : line;
}

} // namespace

class TstWindowTitles : public QObject
{
    Q_OBJECT

public:
    explicit TstWindowTitles(bool displayRunning) : displayRunning(displayRunning) {}

private slots:
    void init()
    {
        if (!displayRunning)
            QSKIP("needs Xvfb and xprop");
        configureApplication(*qApp);
    }

    // Every title exactly as the program gives it, nothing appended; the boxes'
    // buttons in Polish; the program's icon on the window.
    void titlesAsShown()
    {
        TestFolder folder;
        MainWindow window;
        MainWindowTester t(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(shownTitle(&window), QStringLiteral("Kelm Graphics"));
        QVERIFY2(xprop(&window, "_NET_WM_ICON").contains("Icon (32 x 32)"), "no icon");

        QImage picture(40, 20, QImage::Format_RGB32);
        picture.fill(Qt::black);
        const QString path = folder.filePath(QStringLiteral("logo.png"));
        QVERIFY(picture.save(path));
        QVERIFY(t.openPicture(path));
        QTRY_COMPARE(shownTitle(&window), "Kelm Graphics0.1" + path);

        // Each modal window in turn: title, its one button, then answered.
        QStringList seen;
        bool answering = false;
        ModalAnswerer answerer([&](QWidget *modal) {
            if (answering || !QTest::qWaitForWindowExposed(modal))
                return;
            answering = true;
            QString buttons;
            for (QAbstractButton *button : modal->findChildren<QAbstractButton *>())
                if (qobject_cast<QMessageBox *>(modal) && button->isVisible())
                    buttons += ' ' + button->text();
            seen.append(shownTitle(modal) + buttons);
            if (auto *dialog = qobject_cast<QFileDialog *>(modal); dialog && seen.size() == 1) {
                const QString bad = folder.filePath(QStringLiteral("settings.txt"));
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(bad);
                static_cast<QDialog *>(dialog)->accept();
            } else {
                modal->close();
            }
            answering = false;
        });
        t.child<QAction>("openAction")->trigger();
        t.linkSettings().linkMode = 1;
        t.linkSettings().comPortName = folder.filePath(QStringLiteral("brak-portu"));
        t.openLink();
        t.child<QAction>("aboutAction")->trigger();
        QCOMPARE(seen, QStringList({"Open File", "Kelm Graphics OK", "Open File", "Błąd Zamknij",
                                    "O programie OK"}));
    }

private:
    bool displayRunning;
};

int main(int argc, char *argv[])
{
    VirtualDisplay display;
    QApplication app(argc, argv);
    TstWindowTitles test(display.running);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowtitles.moc"

// The settings window with many printers, as the operator meets it: the real main
// window and the shown "Ustawienia" window, driven by its buttons.
//
//   ./bench_settings [N] [M]     (default N = 1000 printers, M = 5000 imported)
//
// 1. "Rozłącz", then "Połącz", with N printers on 127.0.0.1 (kelm-printer-sim in
//    another process, one port each). For each: the time from the click until the
//    reopened table is painted with every row's final state, the time of the last
//    state change of any printer's socket, the lag between the two, and the
//    longest single event-loop pass (the longest gap between the ticks of a 1 ms
//    timer: how long the window could not answer). The floor: N bare sockets in
//    the same process connecting to / disconnecting from the same printers.
// 2. "Importuj..." of a CSV of M printers replacing the table: the time from
//    accepting the file dialog until the table is painted with all M rows; the
//    floor is reading and parsing the file alone.
//
// Run it under an X display (Xvfb); without one it runs offscreen and says so.
#include "core/notifier.h"
#include "benchapp.h"
#include "support/mainwindowtester.h"
#include "support/testfolder.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#ifdef KELM_HAS_PRINTERCSV
#include "core/config/printercsv.h"
#endif

namespace {

// No boxes: the benchmark counts them. A question (import into a full table)
// is answered "Zastąp", the second choice.
class QuietNotifier : public Notifier
{
public:
    void show(const Notice &notice) override
    {
        if (notice.text != QStringLiteral("Brak dostępnych portów COM"))
            std::fprintf(stderr, "box: %s | %s\n", qPrintable(notice.text),
                         qPrintable(notice.detail.left(300)));
    }
    int ask(const Notice &question) // overrides where questions exist
    {
        show(question);
        return 1;
    }
};

QElapsedTimer clock_;
double now()
{
    return clock_.nsecsElapsed() / 1e6;
}

// The longest gap between two ticks of a 1 ms timer, from start() on.
class PassProbe : public QObject
{
public:
    PassProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        connect(&timer, &QTimer::timeout, this, [this] {
            const double t = now();
            longest = std::max(longest, t - last);
            last = t;
            if (onTick)
                onTick();
        });
    }
    void start()
    {
        longest = 0;
        last = now();
        timer.start();
    }
    void stop() { timer.stop(); }
    double longest = 0;
    std::function<void()> onTick;

private:
    QTimer timer;
    double last = 0;
};

// Notes the first paint of any printer table at which `final(model)` holds; set
// on the whole application, so that a dialog's first paint is seen too.
class PaintWatch : public QObject
{
public:
    std::function<bool(QAbstractItemModel *)> final;
    double shownAt = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !final || shownAt >= 0)
            return false;
        auto *view = qobject_cast<QTableView *>(watched->parent());
        if (view && view->objectName() == QLatin1String("ipTableView") &&
            watched == view->viewport() && final(view->model()))
            shownAt = now();
        return false;
    }
};

bool allRowsRead(QAbstractItemModel *model, int rows, const QString &text)
{
    if (model->rowCount() < rows + 1)
        return false;
    for (int row = 0; row < rows; ++row) {
        if (model->index(row, 3).data().toString() != text)
            return false;
    }
    return true;
}

bool allSockets(const QList<QTcpSocket *> &sockets, QAbstractSocket::SocketState state)
{
    for (const QTcpSocket *socket : sockets) {
        if (socket->state() != state)
            return false;
    }
    return true;
}

// Bare sockets to the same printers: the least any program could take.
double floorRun(quint16 base, int n, bool connectThem)
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < n; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        if (!connectThem) {
            sockets.back()->connectToHost(QHostAddress::LocalHost, quint16(base + i));
        }
    }
    if (!connectThem) {
        (void)QTest::qWaitFor([&] {
            return std::all_of(sockets.begin(), sockets.end(), [](const auto &s) {
                return s->state() == QAbstractSocket::ConnectedState;
            });
        });
    }
    const double start = now();
    for (int i = 0; i < n; ++i) {
        if (connectThem)
            sockets[size_t(i)]->connectToHost(QHostAddress::LocalHost, quint16(base + i));
        else
            sockets[size_t(i)]->disconnectFromHost();
    }
    const auto target =
        connectThem ? QAbstractSocket::ConnectedState : QAbstractSocket::UnconnectedState;
    if (!QTest::qWaitFor(
            [&] {
                return std::all_of(sockets.begin(), sockets.end(),
                                   [&](const auto &s) { return s->state() == target; });
            },
            60000))
        return -1;
    return now() - start;
}

struct Phase
{
    const char *name;
    double clicked = 0, socketsFinal = -1, shown = -1, longestPass = 0;
};

void print(const Phase &p, double floorMs)
{
    const double total = p.shown - p.clicked;
    std::printf("%-8s %9.1f %11.1f %9.1f %10.1f %9.1f %7.1f\n", p.name, total,
                p.socketsFinal - p.clicked, p.shown - p.socketsFinal, p.longestPass, floorMs,
                floorMs > 0 ? total / floorMs : 0.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    raiseOpenFileLimit();
    BenchApplication app(argc, argv);
    clock_.start();
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int m = argc > 2 ? std::atoi(argv[2]) : 5000;

    // The printers, one port each, in a process of their own.
    QProcess sim;
    quint16 base = 0;
    for (int attempt = 0; attempt < 10 && base == 0; ++attempt) {
        // Below the ephemeral ports, which the printers' own connections may be using.
        const quint16 first = quint16(10000 + QRandomGenerator::global()->bounded(22000 - n));
        sim.start(QStringLiteral(KELM_PRINTERSIM),
                  {"--tcp", QStringLiteral("127.0.0.1:%1-%2").arg(first).arg(first + n - 1)});
        QByteArray out;
        while (sim.waitForReadyRead(60000)) {
            out += sim.readAllStandardOutput();
            if (out.contains("ready"))
                break;
        }
        if (out.contains("ready")) {
            base = first;
        } else { // a port of the range was taken: another range
            sim.kill();
            sim.waitForFinished(5000);
        }
    }
    if (base == 0) {
        std::fprintf(stderr, "kelm-printer-sim did not start\n");
        return 1;
    }

    const double floorConnect = floorRun(base, n, true);
    const double floorDisconnect = floorRun(base, n, false);

    TestFolder folder;
    QuietNotifier notifier;
    MainWindow window(&notifier);
    MainWindowTester t(window);
    t.findComPorts() = [] { return QList<ComPort>(); };
    LinkSettings &link = t.linkSettings();
    link.linkMode = 2;
    for (int i = 0; i < n; ++i) {
        link.printerIps << QStringLiteral("127.0.0.1");
        link.printerPorts << QString::number(base + i);
        link.printerNames << QStringLiteral("Sklep %1").arg(i + 1);
        link.printerSelected << true;
    }
    link.printerCount = n;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const double linkStart = now();
    t.openLink();
    const double openLinkMs = now() - linkStart;
    if (!QTest::qWaitFor(
            [&] { return allSockets(link.tcpSockets, QAbstractSocket::ConnectedState); }, 60000)) {
        std::fprintf(stderr, "the printers did not connect\n");
        return 1;
    }

    // The settings window: "Rozłącz", then "Połącz", then "Importuj...".
    const QString csvPath = folder.filePath(QStringLiteral("drukarki.csv"));
    {
        QFile csv(csvPath);
        if (!csv.open(QIODevice::WriteOnly))
            return 1;
        csv.write("Nazwa;Adres IP;Port TCP;Udzia\xC5\x82\r\n");
        for (int i = 0; i < m; ++i)
            csv.write(QStringLiteral("Sklep %1;10.%2.%3.%4;9100;1\r\n")
                          .arg(i + 1)
                          .arg(i / 65536)
                          .arg(i / 256 % 256)
                          .arg(i % 256)
                          .toUtf8());
    }

    Phase disconnecting{"Rozłącz"}, connecting{"Połącz"}, importing{"Import"};
    Phase *phase = nullptr;
    PaintWatch watch;
    app.installEventFilter(&watch);
    PassProbe probe;
    QPointer<QWidget> dialog; // the settings window last seen
    bool importable = true;
    bool done = false;
    enum Step
    {
        First,
        Disconnected,
        Connected,
        Importing
    } step = First;

    const auto click = [](QWidget *top, const char *name) {
        auto *button = top->findChild<QPushButton *>(QLatin1String(name));
        if (!button)
            return false;
        QTimer::singleShot(0, button, &QAbstractButton::click);
        return true;
    };
    // The time of the last state change of any printer's socket.
    double lastSocketChange = -1;
    QList<QMetaObject::Connection> hooks;
    const auto hookSockets = [&] {
        for (const auto &hook : qAsConst(hooks))
            QObject::disconnect(hook);
        hooks.clear();
        for (QTcpSocket *socket : qAsConst(link.tcpSockets))
            hooks << QObject::connect(socket, &QAbstractSocket::stateChanged,
                                      [&] { lastSocketChange = now(); });
    };
    const auto begin = [&](Phase &p, int rows, const QString &text) {
        lastSocketChange = -1;
        watch.shownAt = -1;
        watch.final = [rows, text](QAbstractItemModel *model) {
            return model->rowCount() == rows + 1 && allRowsRead(model, rows, text);
        };
        phase = &p;
        probe.start();
        p.clicked = now();
    };
    // Every tick: the sockets' state, the end of a phase, and the next step.
    probe.onTick = [&] {
        if (phase && phase->socketsFinal < 0) {
            if (phase == &importing)
                phase->socketsFinal = phase->clicked;
            else if (allSockets(link.tcpSockets, phase == &connecting
                                                     ? QAbstractSocket::ConnectedState
                                                     : QAbstractSocket::UnconnectedState))
                phase->socketsFinal = lastSocketChange >= 0 ? lastSocketChange : now();
        }
        if (phase && watch.shownAt >= 0 && phase->socketsFinal >= 0) {
            phase->shown = watch.shownAt;
            phase->longestPass = probe.longest;
            phase = nullptr;
            watch.final = nullptr;
        }
        if (phase)
            return;
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            files->selectFile(csvPath);
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(csvPath);
            begin(importing, m, QStringLiteral("Niepodłączona"));
            static_cast<QDialog *>(files)->accept();
            return;
        }
        if (!modal || !modal->findChild<QTableView *>(QStringLiteral("ipTableView")) ||
            !modal->isVisible())
            return;
        const bool fresh = modal != dialog;
        dialog = modal;
        if (step == First && fresh) {
            step = Disconnected;
            begin(disconnecting, n, QStringLiteral("Niepodłączona"));
            hookSockets();
            click(modal, "pushButton_4");
        } else if (step == Disconnected && fresh) {
            step = Connected;
            begin(connecting, n, QStringLiteral("Podłączona"));
            click(modal, "pushButton_3");
            // Posted: runs first in the reopened dialog's first pass, after the link
            // was rebuilt and before the sockets' events of that pass.
            QMetaObject::invokeMethod(qApp, hookSockets, Qt::QueuedConnection);
        } else if (step == Connected && fresh) {
            step = Importing;
            importable = click(modal, "importShops");
            if (!importable)
                done = true;
        } else if (step == Importing && importing.shown >= 0) {
            done = true;
        }
        if (done) {
            probe.stop();
            qobject_cast<QDialog *>(modal)->reject();
        }
    };

    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        std::fprintf(stderr, "time-out; closing\n");
        phase = nullptr;
        done = true;
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(900000);
    probe.start();
    // The settings loop runs here until the last dialog is closed.
    t.child<QAction>("settingsAction")->trigger();

    std::printf("%d printers on 127.0.0.1 (kelm-printer-sim), %d imported; %s\n", n, m,
                qPrintable(QGuiApplication::platformName()));
    std::printf("ms: total = click (import: file chosen) to the table painted in its final state;\n"
                "sockets = click to the last state change of a socket; lag = total - sockets;\n"
                "longest = longest event-loop pass; floor = bare sockets (import: parse alone).\n");
    std::printf("%-8s %9s %11s %9s %10s %9s %7s\n", "phase", "total", "sockets", "lag", "longest",
                "floor", "ratio");
    std::printf("(openLink alone, the main window's rebuilding of the %d connections, inside\n"
                "the \"Połącz\" pass: %.1f ms)\n",
                n, openLinkMs);
    print(disconnecting, floorDisconnect);
    print(connecting, floorConnect);
    if (importable) {
        double floorImport = -1;
#ifdef KELM_HAS_PRINTERCSV
        QFile csv(csvPath);
        const double start = now();
        if (csv.open(QIODevice::ReadOnly))
            floorImport = parsePrinterCsv(csv.readAll()).entries.size() == m ? now() - start : -1;
#endif
        print(importing, floorImport);
    } else {
        std::printf("Import   (no \"Importuj...\" in this build)\n");
    }
    sim.terminate();
    sim.waitForFinished(5000);
    return 0;
}

#pragma once

// The pieces of a benchmark that shows the program's own windows.
#include "ui/startup.h"
#include "benchpicture.h"
#include "core/config/linksettings.h"
#include "support/mainwindowtester.h"
#include "support/recordingnotifier.h"
#include "support/testfolder.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>

// The application as the program sets it up: under an X display when there is
// one (the user's figure), offscreen otherwise; the benchmarks print which.
class BenchApplication : public QApplication
{
public:
    BenchApplication(int &argc, char **argv) : QApplication(prepared(argc), argv)
    {
        configureApplication(*this);
    }

private:
    static int &prepared(int &argc)
    {
        prepareEventLoop();
        if (qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }
};

// The main window shown, as the operator has it, with the benchmark's logo
// (makeDottedLogo) loaded once open() returns true.
struct ShownWindow
{
    ShownWindow() : window(&notifier), tester(window) {}
    bool open()
    {
        window.show();
        return tester.loadFile(makeDottedLogo(folder)) && QTest::qWaitForWindowExposed(&window);
    }

    TestFolder folder;
    RecordingNotifier notifier;
    MainWindow window;
    MainWindowTester tester;
};

// The TCP/IP link with `count` ticked printers, all at 127.0.0.1:`port`.
inline void addLoopbackPrinters(LinkSettings &link, int count, quint16 port)
{
    link.linkMode = 2;
    for (int i = 0; i < count; ++i) {
        link.printerIps << QStringLiteral("127.0.0.1");
        link.printerPorts << QString::number(port);
        link.printerNames << QStringLiteral("Sklep %1").arg(i + 1);
        link.printerSelected << true;
    }
    link.printerCount = count;
}

// Runs this program again as `--one ARGUMENT` for each argument in turn, each
// in a fresh process with its output passed through; one that fails is named
// in a row of its own, the name printed `width` wide (negative: left-aligned).
inline void runEachInChild(const QStringList &arguments, int width)
{
    std::fflush(stdout);
    for (const QString &argument : arguments) {
        QProcess one;
        one.setProcessChannelMode(QProcess::ForwardedChannels);
        one.start(QCoreApplication::applicationFilePath(), {"--one", argument});
        one.waitForFinished(-1);
        if (one.exitCode() != 0)
            std::printf("%*s failed\n", width, qPrintable(argument));
        std::fflush(stdout);
    }
}

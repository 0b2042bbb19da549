#include "ui/startup.h"

#include "core/system/filedescriptors.h"
#include "core/system/signalwatch.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QTextCodec>
#include <QTranslator>

#include <csignal>

void prepareEventLoop()
{
    // Qt's own Unix event loop. The GLib one walks every socket on each pass, and
    // with hundreds of printers answering that pass is the program's main cost.
    // A QT_NO_GLIB already in the environment (even empty, which keeps GLib) wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

void configureApplication(QApplication &app)
{
    // No application display name: Qt would append it to every title the window
    // system shows, and each title must read exactly as the window sets it.

    // The menu entry the program belongs to, and its icon on every window.
    QGuiApplication::setDesktopFileName(QStringLiteral("kelm-graphics"));
    Q_INIT_RESOURCE(desktop);
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kelm-graphics-%1.png").arg(size));
    QGuiApplication::setWindowIcon(icon);

    // The program speaks Polish whatever the system's language, so Qt's own words
    // (standard buttons, the file dialog) must too. Without the file they stay English.
    auto *qtTexts = new QTranslator(&app);
    if (qtTexts->load(QStringLiteral("qtbase_pl"),
                      QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    else
        delete qtTexts;

#ifdef Q_OS_WIN
    // Elsewhere Qt encodes file names through the locale codec, and windows-1250
    // would make paths with Polish letters unreachable.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("windows-1250"));
#endif
    app.setFont(QFont(QStringLiteral("Arial"), 10, QFont::Thin, false));
    // A desktop theme's native file dialog (GTK's) runs only inside a GLib event
    // loop; without one, Qt's own dialog is used.
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher && !dispatcher->inherits("QEventDispatcherGlib"))
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void raiseOpenFileLimit()
{
    raiseFileLimitToHard();
}

void quitOnTerminationSignals()
{
    auto *watch = new SignalWatch({SIGTERM, SIGHUP}, 0, QCoreApplication::instance());
    // Ends modal loops as well; the program then exits as from "Wyjście".
    QObject::connect(watch, &SignalWatch::caught, watch, [] { QCoreApplication::quit(); });
}

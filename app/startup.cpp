#include "app/startup.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFont>
#include <QTextCodec>

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
    app.setApplicationDisplayName(QStringLiteral("Kelm Graphics"));
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

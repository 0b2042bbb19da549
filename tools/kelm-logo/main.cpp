#include "logotool.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // Qt's own Unix event loop: the GLib one walks every socket on each pass,
    // which with thousands of printers is the main cost. A QT_NO_GLIB already in
    // the environment (even empty, which keeps GLib) wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelm-logo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELM_VERSION));
    return runLogoTool(app.arguments().mid(1));
}

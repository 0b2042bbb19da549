#include "core/product.h"
#include "core/system/epolldispatcher.h"
#include "programs/kelm-logo/logotool.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // Thousands of printer sockets: epoll rather than Qt's loop, which asks every
    // socket on every pass. KELM_LOGO_QT_LOOP=1 keeps Qt's own (for comparing).
    if (qEnvironmentVariableIntValue("KELM_LOGO_QT_LOOP") == 1) {
        if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
            qputenv("QT_NO_GLIB", "1");
    } else {
        QCoreApplication::setEventDispatcher(new EpollEventDispatcher);
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelm-logo"));
    QCoreApplication::setApplicationVersion(productVersion());
    return runLogoTool(app.arguments().mid(1));
}

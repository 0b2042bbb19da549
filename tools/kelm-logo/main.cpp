#include "logotool.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelm-logo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELM_VERSION));
    return runLogoTool(app.arguments().mid(1));
}

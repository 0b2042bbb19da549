#include "simulator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::fputs(qPrintable(Simulator::usage()), stdout);
        return 0;
    }
    Simulator simulator;
    QString error;
    if (!simulator.start(app.arguments(), &error)) {
        std::fprintf(stderr, "kelm-printer-sim: %s\n", qPrintable(error));
        return 2;
    }
    return app.exec();
}

#include "simulator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Simulator simulator;
    QString error;
    if (!simulator.start(app.arguments(), &error)) {
        std::fprintf(stderr, "kelm-printer-sim: %s\n", qPrintable(error));
        return 2;
    }
    return app.exec();
}

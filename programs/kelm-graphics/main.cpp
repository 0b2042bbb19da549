#include "ui/mainwindow/mainwindow.h"
#include "core/product.h"
#include "ui/messageboxnotifier.h"
#include "ui/startup.h"

#include <QApplication>

#include <new>

int main(int argc, char *argv[])
{
    prepareEventLoop();
    raiseOpenFileLimit();
    QApplication app(argc, argv);
    try {
        configureApplication(app);
        quitOnTerminationSignals();
        MainWindow window;
        window.show();
        return app.exec();
    } catch (const std::bad_alloc &) {
        MessageBoxNotifier().critical(productName(),
                                      QStringLiteral("Błąd alokacji pamięci"));
        return 1;
    }
}

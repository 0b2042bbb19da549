// Keeping the link configuration and the picture path in settings.txt.
#include "app/mainwindow.h"

#include "app/notifier.h"
#include "config/settingsformat.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>

namespace {

QString settingsPath()
{
    return QDir::currentPath() + QLatin1Char('/') + QLatin1String(settingsFileName);
}

} // namespace

void MainWindow::loadSettings()
{
    QFile file(settingsPath());
    // Read-write, so that a first start creates the file.
    const bool opened = file.open(QIODevice::ReadWrite | QIODevice::Text);
    if (!opened)
        notifier->critical(QStringLiteral("Błąd"),
                           QStringLiteral("Nie można otworzyć pliku z ustawieniami"));
    linkSettings.printerCount = 0;
    if (!opened)
        return;

    StoredSettings stored;
    stored.imagePath = imagePath;
    stored.linkMode = linkSettings.linkMode;
    stored.comPortName = linkSettings.comPortName;
    stored.comPortChosen = linkSettings.comPortChosen;
    parseSettings(file.readAll(), stored);

    imagePath = stored.imagePath;
    linkSettings.linkMode = stored.linkMode;
    linkSettings.comPortName = stored.comPortName;
    linkSettings.comPortChosen = stored.comPortChosen;
    if (stored.printerCount() == 0)
        return;

    linkSettings.printerIps = stored.printerIps;
    linkSettings.printerPorts = stored.printerPorts;
    linkSettings.printerNames = stored.printerNames;
    linkSettings.printerSelected = stored.printerSelected;
    qDeleteAll(linkSettings.tcpSockets);
    linkSettings.tcpSockets.clear();
    for (int i = 0; i < stored.printerCount(); ++i)
        linkSettings.tcpSockets.append(new QTcpSocket);
    linkSettings.printerCount = stored.printerCount();
}

void MainWindow::saveSettings()
{
    QFile file(settingsPath());
    if (!file.open(QIODevice::ReadWrite | QIODevice::Text)) {
        notifier->critical(QStringLiteral("Błąd"),
                           QStringLiteral("Nie można otworzyć pliku z ustawieniami"));
        return;
    }
    StoredSettings stored;
    stored.imagePath = imagePath;
    stored.linkMode = linkSettings.linkMode;
    // Never more entries than every list holds.
    const int count = std::min({linkSettings.printerCount, int(linkSettings.printerIps.size()),
                                int(linkSettings.printerPorts.size()),
                                int(linkSettings.printerNames.size()),
                                int(linkSettings.printerSelected.size())});
    stored.printerIps = linkSettings.printerIps.mid(0, count);
    stored.printerPorts = linkSettings.printerPorts.mid(0, count);
    stored.printerNames = linkSettings.printerNames.mid(0, count);
    stored.printerSelected = linkSettings.printerSelected.mid(0, count);
    stored.comPortName = linkSettings.comPortName;
    stored.comPortChosen = linkSettings.comPortChosen;

    file.resize(0);
    file.write(formatSettings(stored));
    file.close();
}

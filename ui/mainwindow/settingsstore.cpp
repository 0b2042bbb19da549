// Keeping the link configuration and the picture path in settings.txt.
#include "ui/mainwindow/mainwindow.h"

#include "core/notifier.h"
#include "core/config/settingsformat.h"
#include "core/system/safefile.h"

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
    // Read-write, so that a first start creates the file. Only a regular file of
    // a sane size is read: a FIFO would block the start, a device never end.
    const bool opened =
        isRegularOrMissing(file.fileName()) && file.open(QIODevice::ReadWrite | QIODevice::Text);
    QByteArray content;
    const bool read = opened && readAtMost(file, maxSettingsFileSize, &content);
    if (!read)
        notifier->critical(QStringLiteral("Błąd"),
                           QStringLiteral("Nie można otworzyć pliku z ustawieniami"));
    linkSettings.printerCount = 0;
    if (!read)
        return;

    StoredSettings stored;
    stored.imagePath = imagePath;
    stored.linkMode = linkSettings.linkMode;
    stored.comPortName = linkSettings.comPortName;
    stored.comPortChosen = linkSettings.comPortChosen;
    parseSettings(content, stored);

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

    // A new file takes the old one's place only once it is whole on the disk: a
    // full disk or a failed write leaves the old settings as they were.
    const QString path = settingsPath();
    QString reason;
    if (!isRegularOrMissing(path) || !saveFileAtomically(path, formatSettings(stored), &reason))
        notifier->critical(QStringLiteral("Błąd"),
                           QStringLiteral("Nie można zapisać pliku z ustawieniami. "
                                          "Ustawienia nie zostały zapisane."));
}

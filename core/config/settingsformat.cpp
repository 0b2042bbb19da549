#include "core/config/settingsformat.h"

#include <QTextCodec>

const char settingsFileName[] = "settings.txt";
const char printerLinePrefix[] = "Drukarka:TCP:";

namespace {

const QByteArray comLinePrefix("COM:");

QString fieldAt(const QList<QByteArray> &fields, int index)
{
    return index < fields.size() ? QString::fromUtf8(fields.at(index)) : QString();
}

// A path cut short at a NUL or followed by a second CR could end in CR, which the
// next save would turn into a CR LF line end and the next load would drop.
QString pathFrom(const QByteArray &line)
{
    QString path = QString::fromUtf8(line);
    while (path.endsWith(QLatin1Char('\r')))
        path.chop(1);
    return path;
}

} // namespace

bool StoredSettings::operator==(const StoredSettings &other) const
{
    return imagePath == other.imagePath && linkMode == other.linkMode &&
           printerIps == other.printerIps && printerPorts == other.printerPorts &&
           printerNames == other.printerNames && printerSelected == other.printerSelected &&
           comPortName == other.comPortName && comPortChosen == other.comPortChosen;
}

QByteArray settingsAsUtf8(const QByteArray &content)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(content.constData(), content.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return content;
    // Not UTF-8: written by an older copy on Windows, in its locale's code page.
    return QTextCodec::codecForName("windows-1250")->toUnicode(content).toUtf8();
}

void parseSettings(const QByteArray &rawContent, StoredSettings &settings)
{
    const QByteArray content = settingsAsUtf8(rawContent);
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.size() < 2)
        return;

    settings.imagePath = pathFrom(lines.at(0));

    const QByteArray prefix(printerLinePrefix);
    int comLine = 2;
    while (comLine < lines.size() && lines.at(comLine).startsWith(prefix))
        ++comLine;
    const int count = comLine - 2;

    // Without printer entries the stored link is not restored: the program then
    // starts with no link, whatever the link line says.
    if (count > 0) {
        const QByteArray &link = lines.at(1);
        if (link.contains("TCP"))
            settings.linkMode = 2;
        if (link.contains("COM"))
            settings.linkMode = 1;

        settings.printerIps.clear();
        settings.printerPorts.clear();
        settings.printerNames.clear();
        settings.printerSelected.clear();
        for (int i = 2; i < comLine; ++i) {
            const QList<QByteArray> fields = lines.at(i).mid(prefix.size()).split(':');
            settings.printerIps.append(fieldAt(fields, 0));
            settings.printerPorts.append(fieldAt(fields, 1));
            settings.printerNames.append(fieldAt(fields, 2));
            settings.printerSelected.append(fields.size() > 3 && fields.at(3) == "1");
        }
    }

    if (comLine < lines.size() && lines.at(comLine).startsWith(comLinePrefix)) {
        const QList<QByteArray> fields = lines.at(comLine).mid(comLinePrefix.size()).split(':');
        settings.comPortName = fieldAt(fields, 0);
        settings.comPortChosen = fields.size() > 1 && fields.at(1) == "1";
    }
}

QByteArray formatSettings(const StoredSettings &settings)
{
    QByteArray out = settings.imagePath.toUtf8();
    out += '\n';
    out += settings.linkMode == 2 ? "TCP\n" : "COM\n";
    for (int i = 0; i < settings.printerCount(); ++i) {
        out += printerLinePrefix;
        out += settings.printerIps.at(i).toUtf8() + ':' + settings.printerPorts.at(i).toUtf8() +
               ':' + settings.printerNames.at(i).toUtf8() + ':';
        out += settings.printerSelected.at(i) ? "1\n" : "0\n";
    }
    out += comLinePrefix + settings.comPortName.toUtf8();
    out += settings.comPortChosen ? ":1\n" : ":0\n";
    return out;
}

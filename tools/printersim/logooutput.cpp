#include "logooutput.h"

#include "monopng.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>

namespace {

QString timeText(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QString placementName(int placement)
{
    return placement == 1 ? QStringLiteral("footer") : QStringLiteral("header");
}

} // namespace

QByteArray logLine(const QString &printer, const ReceivedLogo &logo, const QString &pngFile)
{
    QJsonArray violations;
    for (const FrameViolation &v : logo.violations)
        violations.append(QJsonObject{{QStringLiteral("row"), v.row},
                                      {QStringLiteral("offset"), v.offset},
                                      {QStringLiteral("problem"), v.problem}});
    QJsonObject line{{QStringLiteral("printer"), printer},
                     {QStringLiteral("placement"), placementName(logo.placement)},
                     {QStringLiteral("complete"), logo.complete},
                     {QStringLiteral("refused"), logo.refused},
                     {QStringLiteral("rows"), logo.rows.size()},
                     {QStringLiteral("frames"), logo.frames},
                     {QStringLiteral("bytes"), logo.bytes},
                     {QStringLiteral("violations"), violations},
                     {QStringLiteral("start"), timeText(logo.start)},
                     {QStringLiteral("end"), timeText(logo.end)}};
    if (logo.moreViolations > 0)
        line.insert(QStringLiteral("more_violations"), logo.moreViolations);
    if (!pngFile.isEmpty())
        line.insert(QStringLiteral("png"), pngFile);
    return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}

void LogoOutput::record(const QString &printer, const QString &stem, const ReceivedLogo &logo)
{
    QString png;
    if (!folder.isEmpty()) {
        if (logo.complete) {
            png = QStringLiteral("%1-%2-%3.png")
                      .arg(stem, placementName(logo.placement))
                      .arg(++counts[stem]);
            QSaveFile file(QDir(folder).filePath(png));
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(encodeMonoPng(logo.rows, simRowBytes * 8)) < 0 || !file.commit()) {
                std::fprintf(stderr, "kelm-printer-sim: cannot write %s\n", qPrintable(png));
                png.clear();
            }
        }
        QFile log(QDir(folder).filePath(QStringLiteral("log.jsonl")));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append) ||
            log.write(logLine(printer, logo, png)) < 0)
            std::fprintf(stderr, "kelm-printer-sim: cannot write %s\n", qPrintable(log.fileName()));
    }
    const char *status = logo.complete ? "complete" : logo.refused ? "refused" : "incomplete";
    std::printf("logo %s %s: %d rows, %s, %d violations%s%s\n", qPrintable(printer),
                qPrintable(placementName(logo.placement)), int(logo.rows.size()), status,
                logo.violationCount(), png.isEmpty() ? "" : " -> ", qPrintable(png));
    std::fflush(stdout);
}

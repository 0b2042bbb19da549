#pragma once

#include "support/testfolder.h"

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include <functional>

// kelm-logo (KELM_LOGO) as a process: its exit status, output and JSON lines.
struct Run
{
    int code = -1;
    QByteArray out;
    QByteArray err;

    QString errText() const { return QString::fromUtf8(err); }

    // The printers' JSON lines (--json), without the summary's.
    QList<QJsonObject> json() const
    {
        QList<QJsonObject> lines;
        for (const QByteArray &line : out.split('\n'))
            if (!line.isEmpty() && !line.startsWith("{\"summary\""))
                lines.append(QJsonDocument::fromJson(line).object());
        return lines;
    }
    QStringList outcomes() const
    {
        QStringList list;
        for (const QJsonObject &line : json())
            list.append(line.value(QStringLiteral("outcome")).toString());
        return list;
    }
    // The last line's summary object.
    QJsonObject summary() const
    {
        const QList<QByteArray> lines = out.trimmed().split('\n');
        return QJsonDocument::fromJson(lines.last())
            .object()
            .value(QStringLiteral("summary"))
            .toObject();
    }
};

// Runs a program (kelm-logo, or kelm-logo under a wrapper such as prlimit) to its
// end while this process's event loop keeps serving; `started` is one already
// started by the caller.
inline Run runProgram(const QString &program, const QStringList &arguments,
                      QProcess *started = nullptr,
                      const std::function<void(QProcess &)> &whileRunning = {})
{
    QProcess own;
    QProcess &process = started ? *started : own;
    if (!started)
        process.start(program, arguments);
    const bool ended = QTest::qWaitFor(
        [&] {
            if (whileRunning)
                whileRunning(process);
            return process.state() == QProcess::NotRunning;
        },
        90000);
    Run run;
    if (!ended) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

inline Run runLogo(const QStringList &arguments, QProcess *started = nullptr,
                   const std::function<void(QProcess &)> &whileRunning = {})
{
    return runProgram(QStringLiteral(KELM_LOGO), arguments, started, whileRunning);
}

// A started kelm-logo waited for to its end.
inline Run finish(QProcess &process)
{
    return runLogo({}, &process);
}

inline QString tcp(quint16 port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A logo on transparency: a dark mark and text-like bars, a half-transparent
// band, nothing symmetric. 300 x 120, so that --fit has work to do.
inline QString makePicture(const TestFolder &folder)
{
    QImage image(300, 120, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(QPen(QColor(20, 20, 20), 5));
    painter.drawEllipse(10, 10, 100, 100);
    painter.fillRect(130, 20, 150, 18, QColor(0, 0, 0));
    painter.fillRect(130, 60, 90, 12, QColor(90, 90, 90));
    painter.fillRect(130, 90, 160, 20, QColor(0, 0, 0, 110));
    painter.drawLine(20, 115, 290, 5);
    painter.end();
    const QString path = folder.filePath(QStringLiteral("logo.png"));
    image.save(path);
    return path;
}

#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

// kelm-printer-sim (KELM_PRINTERSIM) as a process, stopped with the object.
struct SimProcess
{
    explicit SimProcess(const QStringList &arguments)
    {
        process.start(QStringLiteral(KELM_PRINTERSIM), arguments);
        started =
            QTest::qWaitFor(
                [&] {
                    while (process.canReadLine()) {
                        const QString line = QString::fromUtf8(process.readLine()).trimmed();
                        if (line == QLatin1String("ready"))
                            return true;
                        if (line.startsWith(QLatin1String("tcp ")))
                            ports.append(quint16(line.section(QLatin1Char(':'), -1).toUInt()));
                    }
                    return process.state() == QProcess::NotRunning;
                },
                20000) &&
            process.state() == QProcess::Running;
    }
    ~SimProcess() { stop(); }

    bool stop()
    {
        if (process.state() == QProcess::NotRunning)
            return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        process.terminate();
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    // The lines of OUT/log.jsonl: one per logo the printers ended.
    static QList<QJsonObject> log(const QString &out)
    {
        QFile file(out + QStringLiteral("/log.jsonl"));
        QList<QJsonObject> lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    lines.append(QJsonDocument::fromJson(line).object());
        return lines;
    }

    QProcess process;
    QList<quint16> ports;
    bool started = false;
};

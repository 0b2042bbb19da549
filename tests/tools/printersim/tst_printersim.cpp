// The virtual printer's own parts: its frame checker and splitter, its log
// line and its PNG writer.
#include "framechecker.h"
#include "logooutput.h"
#include "monopng.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray frame(int row, bool last, int placement, const QByteArray &hex)
{
    return QStringLiteral("\x1BP251;%1;%2;53;0;%3;170$d")
               .arg(row, 2, 10, QLatin1Char('0'))
               .arg(int(last))
               .arg(placement)
               .toLatin1() +
           hex + "\x1B\\\x05";
}

QByteArray rowHex(int row)
{
    return QByteArray::number(row * 7 % 16, 16).toUpper().repeated(104);
}

using Places = QList<QPair<int, int>>; // row, offset of each violation

} // namespace

class TstPrinterSim : public QObject
{
    Q_OBJECT

private slots:
    // A three-row header logo with one frame broken; each logo ended gives the
    // places of its violations.
    void checker_data()
    {
        QTest::addColumn<QByteArrayList>("frames");
        QTest::addColumn<QList<Places>>("logos");
        QTest::addColumn<QList<bool>>("complete");
        const QByteArray f1 = frame(1, false, 0, rowHex(1)), f2 = frame(2, false, 0, rowHex(2)),
                         f3 = frame(3, true, 0, rowHex(3));
        QByteArray shortFrame = f2;
        shortFrame.remove(50, 1);
        QByteArray lowerCase = f2;
        lowerCase[33] = 'a';
        QByteArray head = f1;
        head[4] = '2';
        QByteArray tail = f3;
        tail[129] = 0x06;
        QByteArray flag = f2;
        flag[9] = 'x';
        QTest::newRow("whole") << QByteArrayList{f1, f2, f3} << QList<Places>{{}}
                               << QList<bool>{true};
        QTest::newRow("129 bytes")
            << QByteArrayList{f1, shortFrame, f3} << QList<Places>{{{2, 129}}} << QList<bool>{true};
        QTest::newRow("lower-case digit")
            << QByteArrayList{f1, lowerCase, f3} << QList<Places>{{{2, 33}}} << QList<bool>{true};
        QTest::newRow("row skipped")
            << QByteArrayList{f1, f3} << QList<Places>{{{2, 7}}} << QList<bool>{true};
        QTest::newRow("last-row flag too early")
            << QByteArrayList{f1, frame(2, true, 0, rowHex(2)), f3} << QList<Places>{{}, {{2, 9}}}
            << QList<bool>{true, true};
        QTest::newRow("placement changed") << QByteArrayList{f1, frame(2, false, 1, rowHex(2)), f3}
                                           << QList<Places>{{{2, 16}}} << QList<bool>{true};
        QTest::newRow("head constant")
            << QByteArrayList{head, f2, f3} << QList<Places>{{{1, 4}}} << QList<bool>{true};
        QTest::newRow("tail") << QByteArrayList{f1, f2, tail} << QList<Places>{{{3, 127}}}
                              << QList<bool>{true};
        QTest::newRow("flag neither 0 nor 1")
            << QByteArrayList{f1, flag, f3} << QList<Places>{{{2, 9}}} << QList<bool>{true};
        QTest::newRow("no row 01")
            << QByteArrayList{f2, f3} << QList<Places>{{{1, 7}}} << QList<bool>{true};
        QTest::newRow("started over") << QByteArrayList{f1, f2, f1, f2, f3} << QList<Places>{{}, {}}
                                      << QList<bool>{false, true};
    }
    void checker()
    {
        QFETCH(QByteArrayList, frames);
        QFETCH(QList<Places>, logos);
        QFETCH(QList<bool>, complete);
        PrinterMemory memory;
        LogoReceiver receiver(memory, AnswerMode::Ack);
        QList<ReceivedLogo> ended;
        bool refused = true;
        for (const QByteArray &f : frames) {
            ended += receiver.take(f, QDateTime::currentDateTimeUtc(), &refused);
            QVERIFY(!refused);
        }
        QVERIFY(!receiver.interrupt(QDateTime::currentDateTimeUtc()));
        QCOMPARE(ended.size(), logos.size());
        for (int i = 0; i < ended.size(); ++i) {
            Places places;
            for (const FrameViolation &v : ended.at(i).violations)
                places.append({v.row, v.offset});
            QCOMPARE(places, logos.at(i));
            QCOMPARE(ended.at(i).complete, complete.at(i));
        }
        // What the printer holds is the rows of the last complete logo.
        if (ended.last().placement == 0 && ended.last().complete)
            QCOMPARE(memory.held[0].size(), ended.last().rows.size());
    }

    // However the stream is cut, the splitter gives back the frames as sent.
    void splitter()
    {
        const QByteArray stream = frame(1, false, 0, rowHex(1)) + frame(2, true, 1, rowHex(2));
        for (const int piece : {1, 7, 130, 200, 260}) {
            FrameSplitter splitter;
            QByteArrayList frames;
            for (int i = 0; i < stream.size(); i += piece)
                frames += splitter.feed(stream.mid(i, piece));
            QCOMPARE(frames, (QByteArrayList{stream.left(130), stream.mid(130)}));
            QVERIFY(!splitter.hasPending());
        }
    }

    // Megabytes of garbage with no tail, in one write, are cut into frame-sized
    // pieces in time proportional to their length; such a logo's log line lists
    // the first violations and counts the rest.
    void garbage()
    {
        const QByteArray junk(1 << 20, 'x');
        FrameSplitter splitter;
        QElapsedTimer clock;
        clock.start();
        const QByteArrayList frames = splitter.feed(junk);
        const qint64 ms = clock.elapsed();
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms) + " ms for 1 MiB"));
        QCOMPARE(frames.size(), junk.size() / 130 - 1);
        QCOMPARE(frames.first().size(), 130);
        QVERIFY(splitter.flush().size() < 260);

        PrinterMemory memory;
        LogoReceiver receiver(memory, AnswerMode::Ack);
        bool refused = false;
        for (int i = 0; i < 1000; ++i)
            receiver.take(frames.at(i), QDateTime::currentDateTimeUtc(), &refused);
        const ReceivedLogo logo = *receiver.interrupt(QDateTime::currentDateTimeUtc());
        QCOMPARE(logo.violations.size(), 100);
        QVERIFY(logo.violationCount() > 1000);
        const QJsonObject line = QJsonDocument::fromJson(logLine("p", logo, {})).object();
        QCOMPARE(line.value("violations").toArray().size(), 100);
        QCOMPARE(line.value("more_violations").toInt(), logo.violationCount() - 100);
    }

    void pngRoundTrip()
    {
        QRandomGenerator random(8);
        for (const int height : {1, 37, 96}) {
            QByteArrayList rows;
            for (int y = 0; y < height; ++y) {
                QByteArray row(52, '\0');
                for (char &byte : row)
                    byte = char(random.bounded(256));
                rows.append(row);
            }
            const QImage png = QImage::fromData(encodeMonoPng(rows, 416), "PNG");
            QCOMPARE(png.size(), QSize(416, height));
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < 416; ++x)
                    QCOMPARE(qGray(png.pixel(x, y)) == 0,
                             bool((rows[y][x / 8] >> (7 - x % 8)) & 1));
        }
    }
};

QTEST_MAIN(TstPrinterSim)
#include "tst_printersim.moc"

#include "transfer/frame.h"

#include <QTest>

Q_DECLARE_METATYPE(LogoPlacement)

namespace {

const QByteArray tail("\x1B\\\x05");

// Row r carries its own number in every byte, so a payload taken from the
// wrong row shows.
QByteArray logoHexOf(int rows)
{
    QByteArray hex;
    for (int r = 1; r <= rows; ++r)
        hex += QString::asprintf("%02X", r).toLatin1().repeated(52);
    return hex;
}

} // namespace

class TstFrame : public QObject
{
    Q_OBJECT

private slots:
    void buildsTemplate_data();
    void buildsTemplate();
    void fillsRow_data();
    void fillsRow();
    void refusesRow_data();
    void refusesRow();
};

void TstFrame::buildsTemplate_data()
{
    QTest::addColumn<LogoPlacement>("placement");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("header") << LogoPlacement::Header << QByteArray("\x1BP251;00;0;53;0;0;170$d");
    QTest::newRow("footer") << LogoPlacement::Footer << QByteArray("\x1BP251;00;0;53;0;1;170$d");
}

void TstFrame::buildsTemplate()
{
    QFETCH(LogoPlacement, placement);
    QFETCH(QByteArray, head);
    QCOMPARE(buildFrameTemplate(placement), head + QByteArray(104, ' ') + tail);
}

void TstFrame::fillsRow_data()
{
    QTest::addColumn<LogoPlacement>("placement");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<QByteArray>("head");

    QTest::newRow("header, row 1 of 96")
        << LogoPlacement::Header << 1 << 96 << QByteArray("\x1BP251;01;0;53;0;0;170$d");
    QTest::newRow("footer, row 96 of 96")
        << LogoPlacement::Footer << 96 << 96 << QByteArray("\x1BP251;96;1;53;0;1;170$d");
    QTest::newRow("single-row logo")
        << LogoPlacement::Header << 1 << 1 << QByteArray("\x1BP251;01;1;53;0;0;170$d");
    QTest::newRow("row 9") << LogoPlacement::Header << 9 << 96
                           << QByteArray("\x1BP251;09;0;53;0;0;170$d");
    QTest::newRow("row 10") << LogoPlacement::Footer << 10 << 96
                            << QByteArray("\x1BP251;10;0;53;0;1;170$d");
    QTest::newRow("row 47 of 48") << LogoPlacement::Header << 47 << 48
                                  << QByteArray("\x1BP251;47;0;53;0;0;170$d");
}

void TstFrame::fillsRow()
{
    QFETCH(LogoPlacement, placement);
    QFETCH(int, row);
    QFETCH(int, lineCount);
    QFETCH(QByteArray, head);

    const QByteArray logoHex = logoHexOf(lineCount);
    QByteArray frame = buildFrameTemplate(placement);
    QVERIFY(fillFrameRow(frame, row, lineCount, logoHex));
    QCOMPARE(frame.size(), 130);
    QCOMPARE(frame, head + logoHex.mid((row - 1) * 104, 104) + tail);
}

void TstFrame::refusesRow_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<QByteArray>("logoHex");

    const QByteArray frame = buildFrameTemplate(LogoPlacement::Header);
    QTest::newRow("row 0") << frame << 0 << 96 << logoHexOf(96);
    QTest::newRow("negative row") << frame << -1 << 96 << logoHexOf(96);
    QTest::newRow("row past lineCount") << frame << 49 << 48 << logoHexOf(96);
    QTest::newRow("logoHex a row short") << frame << 3 << 3 << logoHexOf(2);
    QTest::newRow("logoHex a character short") << frame << 1 << 1 << logoHexOf(1).chopped(1);
    QTest::newRow("frame of 129 bytes") << frame.chopped(1) << 1 << 1 << logoHexOf(1);
    QTest::newRow("frame of 131 bytes") << frame + ' ' << 1 << 1 << logoHexOf(1);
    QTest::newRow("empty frame") << QByteArray() << 1 << 1 << logoHexOf(1);
}

void TstFrame::refusesRow()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, row);
    QFETCH(int, lineCount);
    QFETCH(QByteArray, logoHex);

    const QByteArray before = frame;
    QVERIFY(!fillFrameRow(frame, row, lineCount, logoHex));
    QCOMPARE(frame, before);
}

QTEST_APPLESS_MAIN(TstFrame)
#include "tst_frame.moc"

#include "core/transfer/outcomecounts.h"

#include <QtTest>

using O = PrinterOutcome;
Q_DECLARE_METATYPE(QList<PrinterOutcome>)

class TestOutcomeCounts : public QObject
{
    Q_OBJECT

private slots:
    void summary_data()
    {
        QTest::addColumn<QList<PrinterOutcome>>("outcomes");
        QTest::addColumn<QString>("summary");
        QTest::newRow("ended") << QList<O>{O::Programmed, O::Programmed, O::AlreadyProgrammed,
                                           O::Refused, O::Stopped}
                               << "Zaprogramowano 2 z 5, już zaprogramowane: 1, błędy: 2";
        // Unticked printers are not among those "z" counts.
        QTest::newRow("every part")
            << QList<O>{O::Programmed, O::NotConnected, O::NotTakingPart,
                        O::Sending,    O::Waiting,      O::NoAnswer}
            << "Zaprogramowano 1 z 5, już zaprogramowane: 0, błędy: 1, niepodłączone: 1, "
               "nie biorą udziału: 1, w toku: 2";
    }
    void summary()
    {
        QFETCH(QList<PrinterOutcome>, outcomes);
        QFETCH(QString, summary);
        OutcomeCounts counts;
        for (const O o : outcomes)
            counts.add(o);
        QCOMPARE(counts.summary(), summary);
        QString joined;
        for (const OutcomeCounts::Part &part : counts.summaryParts()) {
            joined += part.words + QString::number(part.count);
            QCOMPARE(part.count, part.filter == OutcomeFilter::All
                                     ? counts.total() - counts.counted(OutcomeFilter::NotTakingPart)
                                     : counts.counted(part.filter));
        }
        QCOMPARE(joined, summary);
    }

    // Counts kept through changes agree with counting afresh, and each filter
    // counts the outcomes it matches.
    void changes()
    {
        OutcomeCounts counts;
        QList<O> now{O::NotConnected, O::NotConnected, O::Waiting};
        for (const O o : now)
            counts.add(o);
        const QList<QPair<int, O>> steps{
            {0, O::Sending}, {2, O::Sending},           {0, O::Programmed}, {2, O::HungUp},
            {2, O::Sending}, {2, O::AlreadyProgrammed}, {1, O::Stopped}};
        for (const auto &step : steps) {
            counts.change(now[step.first], step.second);
            now[step.first] = step.second;
        }
        QVERIFY(counts.allEnded());
        for (const OutcomeFilter f :
             {OutcomeFilter::Programmed, OutcomeFilter::AlreadyProgrammed, OutcomeFilter::Failed,
              OutcomeFilter::Running, OutcomeFilter::NotTakingPart, OutcomeFilter::NotConnected}) {
            int matching = 0;
            for (const O o : now)
                matching += OutcomeCounts::matches(f, o) ? 1 : 0;
            QCOMPARE(counts.counted(f), matching);
        }
        QCOMPARE(counts.summary(),
                 QStringLiteral("Zaprogramowano 1 z 3, już zaprogramowane: 1, błędy: 1"));
    }
};

QTEST_GUILESS_MAIN(TestOutcomeCounts)
#include "tst_outcomecounts.moc"

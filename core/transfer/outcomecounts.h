#pragma once

#include "core/transfer/printeroutcome.h"

#include <QList>
#include <QString>

#include <array>

// The groups of printers the summary counts; each of its numbers stands for one.
enum class OutcomeFilter
{
    All, // every printer taking part
    Programmed,
    AlreadyProgrammed,
    Failed,
    Running,
    NotTakingPart,
    NotConnected,
    Unchanged,
    WouldProgram,
    WriteLimit
};

// Printers per outcome, kept as the outcomes change, and the summary sentence
// built from them: "Zaprogramowano 47 z 50, już zaprogramowane: 1, błędy: 2",
// then "niepodłączone", "nie biorą udziału" and "w toku" where not nought
// (and, in a run that reads the journal or only checks, "do zaprogramowania",
// "bez zmian" and "limit zapisów").
class OutcomeCounts
{
public:
    void add(PrinterOutcome outcome, int delta = 1);
    void change(PrinterOutcome from, PrinterOutcome to);

    int total() const { return all; }
    int of(PrinterOutcome outcome) const { return counts[size_t(outcome)]; }
    int ended() const { return endedCount; }
    int failed() const { return failedCount; }
    int running() const { return all - endedCount; }
    bool allEnded() const { return endedCount == all; }
    // How many the filter's number counts; All counts every printer.
    int counted(OutcomeFilter filter) const;
    static bool matches(OutcomeFilter filter, PrinterOutcome outcome);

    // The sentence in pieces, so that a window can make its numbers links: the
    // words before a number, the number and the group it counts.
    struct Part
    {
        QString words;
        int count = 0;
        OutcomeFilter filter = OutcomeFilter::All;
    };
    QList<Part> summaryParts() const;
    QString summary() const;

private:
    std::array<int, outcomeCount> counts{};
    int all = 0;
    int endedCount = 0;
    int failedCount = 0;
};

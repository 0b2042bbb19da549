#include "core/transfer/outcomecounts.h"

void OutcomeCounts::add(PrinterOutcome outcome, int delta)
{
    counts[size_t(outcome)] += delta;
    all += delta;
    if (hasEnded(outcome))
        endedCount += delta;
    if (isFailure(outcome))
        failedCount += delta;
}

void OutcomeCounts::change(PrinterOutcome from, PrinterOutcome to)
{
    if (from == to)
        return;
    add(from, -1);
    add(to, 1);
}

int OutcomeCounts::counted(OutcomeFilter filter) const
{
    using O = PrinterOutcome;
    switch (filter) {
    case OutcomeFilter::All:
        return all;
    case OutcomeFilter::Programmed:
        return of(O::Programmed);
    case OutcomeFilter::AlreadyProgrammed:
        return of(O::AlreadyProgrammed);
    case OutcomeFilter::Failed:
        return failedCount;
    case OutcomeFilter::Running:
        return running();
    case OutcomeFilter::NotTakingPart:
        return of(O::NotTakingPart);
    case OutcomeFilter::NotConnected:
        return of(O::NotConnected);
    case OutcomeFilter::Unchanged:
        return of(O::Unchanged);
    case OutcomeFilter::WouldProgram:
        return of(O::WouldProgram);
    case OutcomeFilter::WriteLimit:
        return of(O::WriteLimit);
    }
    return 0;
}

bool OutcomeCounts::matches(OutcomeFilter filter, PrinterOutcome outcome)
{
    switch (filter) {
    case OutcomeFilter::All:
        return true;
    case OutcomeFilter::Programmed:
        return outcome == PrinterOutcome::Programmed;
    case OutcomeFilter::AlreadyProgrammed:
        return outcome == PrinterOutcome::AlreadyProgrammed;
    case OutcomeFilter::Failed:
        return isFailure(outcome);
    case OutcomeFilter::Running:
        return !hasEnded(outcome);
    case OutcomeFilter::NotTakingPart:
        return outcome == PrinterOutcome::NotTakingPart;
    case OutcomeFilter::NotConnected:
        return outcome == PrinterOutcome::NotConnected;
    case OutcomeFilter::Unchanged:
        return outcome == PrinterOutcome::Unchanged;
    case OutcomeFilter::WouldProgram:
        return outcome == PrinterOutcome::WouldProgram;
    case OutcomeFilter::WriteLimit:
        return outcome == PrinterOutcome::WriteLimit;
    }
    return true;
}

QList<OutcomeCounts::Part> OutcomeCounts::summaryParts() const
{
    using F = OutcomeFilter;
    // "z" counts those taking part: the unticked ones are told apart.
    QList<Part> parts{
        {QStringLiteral("Zaprogramowano "), counted(F::Programmed), F::Programmed},
        {QStringLiteral(" z "), all - counted(F::NotTakingPart), F::All},
    };
    const Part journal[] = {
        {QStringLiteral(", do zaprogramowania: "), counted(F::WouldProgram), F::WouldProgram},
        {QStringLiteral(", bez zmian: "), counted(F::Unchanged), F::Unchanged},
    };
    for (const Part &part : journal)
        if (part.count > 0)
            parts.append(part);
    parts.append({QStringLiteral(", już zaprogramowane: "), counted(F::AlreadyProgrammed),
                  F::AlreadyProgrammed});
    parts.append({QStringLiteral(", błędy: "), failedCount, F::Failed});
    const Part optional[] = {
        {QStringLiteral(", limit zapisów: "), counted(F::WriteLimit), F::WriteLimit},
        {QStringLiteral(", niepodłączone: "), counted(F::NotConnected), F::NotConnected},
        {QStringLiteral(", nie biorą udziału: "), counted(F::NotTakingPart), F::NotTakingPart},
        {QStringLiteral(", w toku: "), running(), F::Running},
    };
    for (const Part &part : optional)
        if (part.count > 0)
            parts.append(part);
    return parts;
}

QString OutcomeCounts::summary() const
{
    QString text;
    for (const Part &part : summaryParts())
        text += part.words + QString::number(part.count);
    return text;
}

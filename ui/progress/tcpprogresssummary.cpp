// The dialog's summary line and the rows its counts choose.
#include "ui/progress/tcpprogressdialog.h"

#include <QLabel>
#include <QStringList>
#include <QTimer>

#include <algorithm>

namespace {

struct FilterLink
{
    OutcomeFilter filter;
    const char *key;
};
const FilterLink filterLinks[] = {
    {OutcomeFilter::All, "all"},
    {OutcomeFilter::Programmed, "programmed"},
    {OutcomeFilter::AlreadyProgrammed, "already"},
    {OutcomeFilter::Failed, "failed"},
    {OutcomeFilter::Running, "running"},
    {OutcomeFilter::NotTakingPart, "nottaking"},
    {OutcomeFilter::NotConnected, "notconnected"},
    {OutcomeFilter::Unchanged, "unchanged"},
    {OutcomeFilter::WouldProgram, "would"},
    {OutcomeFilter::WriteLimit, "writelimit"},
    {OutcomeFilter::BadPort, "badport"},
};

// A line breaks between counts, after the comma, never inside one ("w toku: 3").
QString keptTogether(const QString &words)
{
    const QString separator = QStringLiteral(", ");
    const bool follows = words.startsWith(separator);
    QString kept = words.mid(follows ? separator.size() : 0);
    kept.replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
    return follows ? separator + kept : kept;
}

const char *keyOf(OutcomeFilter filter)
{
    for (const FilterLink &link : filterLinks)
        if (link.filter == filter)
            return link.key;
    return "all";
}

} // namespace

int TcpProgressDialog::summaryWidth(const QFontMetrics &metrics)
{
    // Four digits in every count, each part shown.
    OutcomeCounts widest;
    for (const PrinterOutcome o :
         {PrinterOutcome::Programmed, PrinterOutcome::AlreadyProgrammed, PrinterOutcome::Refused,
          PrinterOutcome::NotConnected, PrinterOutcome::NotTakingPart, PrinterOutcome::BadPort,
          PrinterOutcome::Waiting})
        widest.add(o, 1000);
    // It wraps only after a count's comma: the narrowest width that holds it in
    // two lines at one of those.
    const QString separator = QStringLiteral(", ");
    const QStringList counts =
        (widest.summary() + QStringLiteral(" (pokaż wszystkie)")).split(separator);
    int width = metrics.horizontalAdvance(counts.join(separator));
    for (int first = 1; first < counts.size(); ++first) {
        const int top = metrics.horizontalAdvance(counts.mid(0, first).join(separator) + ',');
        const int bottom = metrics.horizontalAdvance(counts.mid(first).join(separator));
        width = std::min(width, std::max(top, bottom));
    }
    return width;
}

void TcpProgressDialog::showSummary()
{
    summaryDirty = false;
    QString rich;
    for (const OutcomeCounts::Part &part : counts.summaryParts()) {
        rich += keptTogether(part.words.toHtmlEscaped());
        const QString shown = shownRows == part.filter && part.filter != Filter::All
                                  ? QStringLiteral("<b>%1</b>").arg(part.count)
                                  : QString::number(part.count);
        // The counts are links: each shows only the rows it counts.
        if (part.count == 0)
            rich += shown;
        else
            rich += QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(QLatin1String(keyOf(part.filter)), shown);
    }
    if (shownRows != Filter::All)
        rich += QStringLiteral(" (<a href=\"all\">pokaż&nbsp;wszystkie</a>)");
    summaryPlain = counts.summary();
    summaryLabel->setText(rich);
}

void TcpProgressDialog::applyFilter(int index)
{
    Row &row = rows[size_t(index)];
    const bool show = OutcomeCounts::matches(shownRows, row.outcome);
    if (show == !row.widget->isHidden())
        return;
    row.widget->setHidden(!show);
    // A block with no row shown would still take its share of spacing.
    int &shown = blockShown[size_t(row.block)];
    shown += show ? 1 : -1;
    blocks[size_t(row.block)]->setHidden(shown == 0);
}

void TcpProgressDialog::setFilter(Filter filter)
{
    if (filter == shownRows)
        return;
    shownRows = filter;
    for (int i = 0; i < int(rows.size()); ++i)
        applyFilter(i);
    showSummary();
    // The rows move once the list is laid out again.
    QTimer::singleShot(0, this, &TcpProgressDialog::refreshStale);
}

void TcpProgressDialog::followLink(const QString &key)
{
    for (const FilterLink &link : filterLinks) {
        if (key == QLatin1String(link.key)) {
            // A second click on the count shown brings back every row.
            setFilter(link.filter == shownRows ? Filter::All : link.filter);
            return;
        }
    }
}

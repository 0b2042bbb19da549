#include "ui/progress/tcpprogressdialog.h"

#include "ui/messageboxnotifier.h"
#include "core/config/linksettings.h"
#include "core/transfer/connection.h"
#include "ui/progress/progressthrottle.h"
#include "core/transfer/retryfailed.h"
#include "core/system/safefile.h"
#include "ui_tcpprogressdialog.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

const char appTitle[] = "Kelm Graphics";
const QString silentText = QStringLiteral("brak odpowiedzi od 10 s");

struct FilterLink
{
    TcpProgressDialog::Filter filter;
    const char *key;
};
const FilterLink filterLinks[] = {
    {TcpProgressDialog::Filter::All, "all"},
    {TcpProgressDialog::Filter::Programmed, "programmed"},
    {TcpProgressDialog::Filter::AlreadyProgrammed, "already"},
    {TcpProgressDialog::Filter::Failed, "failed"},
    {TcpProgressDialog::Filter::Running, "running"},
    {TcpProgressDialog::Filter::NotTakingPart, "nottaking"},
    {TcpProgressDialog::Filter::NotConnected, "notconnected"},
};

const char *keyOf(TcpProgressDialog::Filter filter)
{
    for (const FilterLink &link : filterLinks)
        if (link.filter == filter)
            return link.key;
    return "all";
}

// The widest words a row can show: its label is sized for them once, so that
// new words repaint the label and never lay out the list again.
QString widestWords(const QFontMetrics &metrics)
{
    QString widest = silentText;
    for (int o = 0; o <= int(PrinterOutcome::NotConnected); ++o) {
        const QString words = outcomeText(PrinterOutcome(o), 96, 96);
        if (metrics.horizontalAdvance(words) > metrics.horizontalAdvance(widest))
            widest = words;
    }
    return widest;
}

} // namespace

TcpProgressDialog::TcpProgressDialog(LinkSettings *settings, QWidget *parent)
    : QDialog(parent), ui(new Ui::TcpProgressDialog), throttle(new ProgressThrottle(this))
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Wysyłanie danych TCP/IP"));

    auto *layout = new QVBoxLayout;
    // The rows scroll once there are more than the screen holds, so that the
    // buttons below them stay in reach. They sit in blocks: painting a widget
    // walks the siblings stacked above it, and a thousand rows side by side made
    // every bar's paint cost a thousand steps.
    constexpr int rowsPerBlock = 32;
    auto *list = new QWidget;
    auto *listLayout = new QVBoxLayout(list);
    // Room between the row buttons and the scroll bar.
    listLayout->setContentsMargins(0, 0, listLayout->spacing(), 0);
    QVBoxLayout *blockLayout = nullptr;
    QSize wordsSize;
    const int rowCount = settings ? settings->tcpSockets.size() : 0;
    rows.resize(size_t(std::max(rowCount, 0)));
    for (int i = 0; i < rowCount; ++i) {
        if (i % rowsPerBlock == 0) {
            auto *block = new QWidget;
            blockLayout = new QVBoxLayout(block);
            blockLayout->setContentsMargins(0, 0, 0, 0);
            listLayout->addWidget(block);
            blocks.push_back(block);
            blockShown.push_back(0);
        }
        Row &row = rows[size_t(i)];
        row.name = settings->printerNames.value(i);
        row.address = settings->printerIps.value(i);
        row.port = quint16(settings->printerPorts.value(i).toInt() & 0xFFFF);
        row.outcome = settings->printerSelected.value(i) ? PrinterOutcome::NotConnected
                                                         : PrinterOutcome::NotTakingPart;
        row.block = int(blocks.size()) - 1;
        ++blockShown.back();
        count(row.outcome, 1);

        row.widget = new QWidget;
        auto *line = new QHBoxLayout(row.widget);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(new QLabel(row.name));
        auto *bar = new QProgressBar;
        progressBars.append(bar);
        throttle->addBar(bar);
        line->addWidget(bar);
        auto *words = new QLabel;
        words->setTextFormat(Qt::PlainText);
        if (!wordsSize.isValid()) {
            words->setText(widestWords(words->fontMetrics()));
            wordsSize = words->sizeHint();
        }
        words->setFixedSize(wordsSize);
        words->setText(outcomeText(row.outcome, 0, 0));
        stateLabels.append(words);
        line->addWidget(words);
        auto *cancel = new QPushButton(QStringLiteral("przerwij"));
        // Enter is for "Zamknij", never for stopping a printer.
        cancel->setAutoDefault(false);
        cancelButtons.append(cancel);
        line->addWidget(cancel);
        blockLayout->addWidget(row.widget);
    }
    listLayout->addStretch();

    auto *scroll = rowsArea = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(list);
    const QSize wanted = list->sizeHint();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int roomy = screen ? screen->availableGeometry().height() * 2 / 3 : 600;
    scroll->setMinimumHeight(std::min(wanted.height(), std::max(roomy, 100)));
    // The counts are links: each shows only the rows it counts. The longest
    // summary fits in two lines of the dialog's width, and two lines are kept
    // for it, so that a summary growing never moves the rows.
    summaryLabel = new QLabel;
    summaryLabel->setTextFormat(Qt::RichText);
    summaryLabel->setWordWrap(true);
    const QFontMetrics metrics = summaryLabel->fontMetrics();
    const int longestSummary = metrics.horizontalAdvance(
        QStringLiteral("Zaprogramowano 0000 z 0000, już zaprogramowane: 0000, błędy: 0000, "
                       "niepodłączone: 0000, nie biorą udziału: 0000, w toku: 0000 (pokaż "
                       "wszystkie)"));
    summaryLabel->setMinimumHeight(2 * metrics.lineSpacing());
    scroll->setMinimumWidth(
        std::max(wanted.width() + scroll->verticalScrollBar()->sizeHint().width(),
                 longestSummary / 2 + metrics.averageCharWidth() * 8));
    layout->addWidget(scroll);
    summaryLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                          Qt::LinksAccessibleByKeyboard);
    connect(summaryLabel, &QLabel::linkActivated, this, &TcpProgressDialog::followLink);
    layout->addWidget(summaryLabel);

    retryButton = new QPushButton(QStringLiteral("Ponów nieudane"));
    retryButton->setEnabled(false);
    reportButton = new QPushButton(QStringLiteral("Zapisz raport..."));
    cancelAllButton = new QPushButton(QStringLiteral("Przerwij wszystko"));
    closeButton = new QPushButton(QStringLiteral("Zamknij"));
    closeButton->setEnabled(false);
    for (QPushButton *button : {retryButton, reportButton, cancelAllButton})
        button->setAutoDefault(false);
    closeButton->setDefault(true);
    connect(retryButton, SIGNAL(clicked()), this, SLOT(retryFailed()));
    connect(reportButton, SIGNAL(clicked()), this, SLOT(chooseReportFile()));
    connect(cancelAllButton, SIGNAL(clicked()), this, SLOT(ableToClose()));
    connect(closeButton, SIGNAL(clicked()), this, SLOT(close()));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(retryButton);
    buttons->addWidget(reportButton);
    buttons->addStretch();
    buttons->addWidget(cancelAllButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    setLayout(layout);

    wordsTimer.setInterval(ProgressThrottle::intervalMs);
    connect(&wordsTimer, &QTimer::timeout, this, [this] {
        if (dirtyRows.empty() && !summaryDirty)
            wordsTimer.stop();
        else
            flushWords();
    });
    // Words of rows scrolled out of sight wait until they come into view.
    connect(scroll->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &TcpProgressDialog::refreshStale);
    scroll->viewport()->installEventFilter(this);
    showSummary();
    // The dialog opens on the summary: a row's "przerwij" must not be where an
    // Enter or a space meant for closing lands.
    summaryLabel->setFocus();
}

TcpProgressDialog::~TcpProgressDialog()
{
    cancelButtons.clear();
    delete cancelAllButton;
    delete ui;
}

void TcpProgressDialog::setNotifier(Notifier *n)
{
    notifier = n;
}

void TcpProgressDialog::showValue(int row, int value)
{
    throttle->setValue(row, value);
    markDirty(row);
}

void TcpProgressDialog::track(int index, Connection *connection)
{
    if (index < 0 || index >= int(rows.size()) || !connection)
        return;
    Row &row = rows[size_t(index)];
    if (row.connection)
        row.connection->disconnect(this);
    row.connection = connection;
    connect(connection, &Connection::value, this,
            [this, index](int line) { showValue(index, line); });
    connect(connection, &Connection::outcomeChanged, this,
            [this, index] { outcomeChanged(index); });
    // A printer being connected anew by "Ponów nieudane" has no transfer its
    // Connection could stop yet.
    connect(cancelButtons.at(index), &QPushButton::clicked, connection,
            [connection] { stopRestart(connection); });
    connect(cancelAllButton, &QPushButton::clicked, connection,
            [connection] { stopRestart(connection); });
    outcomeChanged(index);
}

PrinterOutcome TcpProgressDialog::outcomeOf(const Row &row) const
{
    return row.connection ? row.connection->outcome() : row.outcome;
}

QString TcpProgressDialog::wordsFor(const Row &row) const
{
    const PrinterOutcome outcome = outcomeOf(row);
    if (row.connection && row.connection->silent() && !hasEnded(outcome))
        return silentText;
    const int rowsSent = row.connection ? row.connection->rowsSent() : 0;
    const int index = int(&row - rows.data());
    return outcomeText(outcome, rowsSent, progressBars.at(index)->maximum());
}

void TcpProgressDialog::count(PrinterOutcome outcome, int delta)
{
    counts[size_t(outcome)] += delta;
    if (hasEnded(outcome))
        endedCount += delta;
    if (isFailure(outcome))
        failedCount += delta;
}

void TcpProgressDialog::outcomeChanged(int index)
{
    Row &row = rows[size_t(index)];
    const PrinterOutcome now = outcomeOf(row);
    if (now != row.outcome) {
        count(row.outcome, -1);
        count(now, 1);
        row.outcome = now;
        summaryDirty = true;
        updateButtons();
        // The last row to end makes the summary final at once.
        if (hasEnded(now) && endedCount == int(rows.size())) {
            markDirty(index);
            flushWords();
            return;
        }
    }
    markDirty(index);
}

void TcpProgressDialog::markDirty(int index)
{
    if (index < 0 || index >= int(rows.size()))
        return;
    Row &row = rows[size_t(index)];
    if (!row.dirty) {
        row.dirty = true;
        dirtyRows.push_back(index);
    }
    // As the bars: the first change after a pause shows at once, the latest
    // within one interval.
    if (!wordsTimer.isActive()) {
        flushWords();
        wordsTimer.start();
    }
}

void TcpProgressDialog::showWords(int index)
{
    QLabel *words = stateLabels.at(index);
    const QString text = wordsFor(rows[size_t(index)]);
    if (words->text() != text)
        words->setText(text);
}

bool TcpProgressDialog::inView(int index) const
{
    if (!isVisible())
        return true;
    const Row &row = rows[size_t(index)];
    const int top = blocks[size_t(row.block)]->y() + row.widget->y();
    const int first = rowsArea->verticalScrollBar()->value();
    return top + row.widget->height() >= first && top <= first + rowsArea->viewport()->height();
}

void TcpProgressDialog::refreshStale()
{
    std::vector<int> later;
    for (const int index : staleRows) {
        Row &row = rows[size_t(index)];
        if (!row.stale)
            continue;
        if (inView(index)) {
            row.stale = false;
            showWords(index);
        } else {
            later.push_back(index);
        }
    }
    staleRows.swap(later);
}

void TcpProgressDialog::flushWords()
{
    for (const int index : dirtyRows) {
        Row &row = rows[size_t(index)];
        row.dirty = false;
        if (shownRows != Filter::All)
            applyFilter(index);
        // Words nobody can see cost as much as those on screen: they are set
        // once their row comes into view.
        if (!inView(index)) {
            if (!row.stale) {
                row.stale = true;
                staleRows.push_back(index);
            }
            continue;
        }
        row.stale = false;
        showWords(index);
    }
    dirtyRows.clear();
    // A count that fell to nothing has no rows left to show: all of them come back.
    if (shownRows != Filter::All && counted(shownRows) == 0)
        setFilter(Filter::All);
    if (summaryDirty)
        showSummary();
}

int TcpProgressDialog::counted(Filter filter) const
{
    using O = PrinterOutcome;
    switch (filter) {
    case Filter::All:
        return int(rows.size());
    case Filter::Programmed:
        return counts[size_t(O::Programmed)];
    case Filter::AlreadyProgrammed:
        return counts[size_t(O::AlreadyProgrammed)];
    case Filter::Failed:
        return failedCount;
    case Filter::Running:
        return int(rows.size()) - endedCount;
    case Filter::NotTakingPart:
        return counts[size_t(O::NotTakingPart)];
    case Filter::NotConnected:
        return counts[size_t(O::NotConnected)];
    }
    return 0;
}

void TcpProgressDialog::showSummary()
{
    summaryDirty = false;
    using O = PrinterOutcome;
    const int takingPart = int(rows.size()) - counts[size_t(O::NotTakingPart)];
    const int running = counted(Filter::Running);
    QString rich;
    QString plain;
    const auto number = [&](int n, Filter filter) {
        plain += QString::number(n);
        const QString shown = shownRows == filter && filter != Filter::All
                                  ? QStringLiteral("<b>%1</b>").arg(n)
                                  : QString::number(n);
        if (n == 0)
            rich += shown;
        else
            rich +=
                QStringLiteral("<a href=\"%1\">%2</a>").arg(QLatin1String(keyOf(filter)), shown);
    };
    const auto words = [&](const QString &text) {
        plain += text;
        rich += text.toHtmlEscaped();
    };
    words(QStringLiteral("Zaprogramowano "));
    number(counts[size_t(O::Programmed)], Filter::Programmed);
    words(QStringLiteral(" z "));
    number(takingPart, Filter::All);
    words(QStringLiteral(", już zaprogramowane: "));
    number(counts[size_t(O::AlreadyProgrammed)], Filter::AlreadyProgrammed);
    words(QStringLiteral(", błędy: "));
    number(failedCount, Filter::Failed);
    if (counts[size_t(O::NotConnected)] > 0) {
        words(QStringLiteral(", niepodłączone: "));
        number(counts[size_t(O::NotConnected)], Filter::NotConnected);
    }
    if (counts[size_t(O::NotTakingPart)] > 0) {
        words(QStringLiteral(", nie biorą udziału: "));
        number(counts[size_t(O::NotTakingPart)], Filter::NotTakingPart);
    }
    if (running > 0) {
        words(QStringLiteral(", w toku: "));
        number(running, Filter::Running);
    }
    if (shownRows != Filter::All)
        rich += QStringLiteral(" (<a href=\"all\">pokaż wszystkie</a>)");
    summaryPlain = plain;
    summaryLabel->setText(rich);
}

void TcpProgressDialog::updateButtons()
{
    const bool allEnded = endedCount == int(rows.size());
    closeButton->setEnabled(allEnded || stoppedAll);
    retryButton->setEnabled(allEnded && failedCount > 0);
}

bool TcpProgressDialog::matches(PrinterOutcome outcome) const
{
    switch (shownRows) {
    case Filter::All:
        return true;
    case Filter::Programmed:
        return outcome == PrinterOutcome::Programmed;
    case Filter::AlreadyProgrammed:
        return outcome == PrinterOutcome::AlreadyProgrammed;
    case Filter::Failed:
        return isFailure(outcome);
    case Filter::Running:
        return !hasEnded(outcome);
    case Filter::NotTakingPart:
        return outcome == PrinterOutcome::NotTakingPart;
    case Filter::NotConnected:
        return outcome == PrinterOutcome::NotConnected;
    }
    return true;
}

void TcpProgressDialog::applyFilter(int index)
{
    Row &row = rows[size_t(index)];
    const bool show = matches(row.outcome);
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

bool TcpProgressDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, &TcpProgressDialog::refreshStale);
    return QDialog::eventFilter(watched, event);
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

QList<PrinterResult> TcpProgressDialog::results() const
{
    QList<PrinterResult> list;
    list.reserve(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const Row &row = rows[size_t(i)];
        PrinterResult result;
        result.name = row.name;
        result.address = row.address;
        result.port = row.port;
        result.outcome = outcomeOf(row);
        result.rows = progressBars.at(i)->maximum();
        if (row.connection) {
            result.rowsSent = row.connection->rowsSent();
            result.seconds = row.connection->elapsedMs() / 1000.0;
        }
        result.attempts = row.attempts;
        list.append(result);
    }
    return list;
}

bool TcpProgressDialog::saveReport(const QString &path)
{
    QString reason;
    if (saveFileAtomically(path, formatReportCsv(results()), &reason))
        return true;
    MessageBoxNotifier boxes(this);
    (notifier ? notifier : &boxes)
        ->critical(QLatin1String(appTitle),
                   QStringLiteral("Nie zapisano raportu „%1”: %2.")
                       .arg(QDir::toNativeSeparators(path), reason));
    return false;
}

void TcpProgressDialog::chooseReportFile()
{
    const QString suggested = QDir::current().filePath(
        QStringLiteral("raport-%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmm"))));
    QFileDialog dialog(this, QStringLiteral("Zapisz raport"), suggested,
                       QStringLiteral("CSV (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveReport(dialog.selectedFiles().first());
}

void TcpProgressDialog::retryFailed()
{
    QList<RetryTarget> targets;
    for (const Row &row : rows)
        targets.append({row.connection, row.address, row.port});
    stoppedAll = false;
    setFilter(Filter::All);
    for (const int index : ::retryFailed(targets)) {
        ++rows[size_t(index)].attempts;
        throttle->setValueNow(index, 0);
        outcomeChanged(index);
    }
    updateButtons();
}

void TcpProgressDialog::showEvent(QShowEvent *event)
{
    updateButtons();
    QDialog::showEvent(event);
}

void TcpProgressDialog::ableToClose()
{
    stoppedAll = true;
    closeButton->setEnabled(true);
}

void TcpProgressDialog::isAbleToClose()
{
    ++finishedCount;
    updateButtons();
}

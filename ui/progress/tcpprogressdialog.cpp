#include "ui/progress/tcpprogressdialog.h"

#include "core/config/linksettings.h"
#include "core/transfer/connection.h"
#include "core/transfer/failedretry.h"
#include "core/transfer/timing.h"
#include "ui/messageboxnotifier.h"
#include "ui/progress/progressthrottle.h"
#include "ui_tcpprogressdialog.h"

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

// The widest words a row can show: its label is sized for them once, so that
// new words repaint the label and never lay out the list again.
QString widestWords(const QFontMetrics &metrics)
{
    QString widest = Timing::silenceText();
    for (int o = 0; o < outcomeCount; ++o) {
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
    ownBoxes.reset(new MessageBoxNotifier);
    retrier = new FailedRetry(ownBoxes.get(), this);

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
    // The names share one column, so that every bar starts and ends at the same
    // place; a longer name is cut short.
    const QFontMetrics nameMetrics = fontMetrics();
    int nameWidth = 0;
    const int longestName = nameMetrics.averageCharWidth() * maxNameChars;
    for (int i = 0; i < rowCount && nameWidth < longestName; ++i)
        nameWidth =
            std::max(nameWidth, nameMetrics.horizontalAdvance(settings->printerNames.value(i)));
    nameWidth = std::min(nameWidth, longestName);
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
        row.printer.name = settings->printerNames.value(i);
        row.printer.address = settings->printerIps.value(i);
        const std::optional<quint16> port = tcpPortOf(settings->printerPorts.value(i));
        row.printer.port = port.value_or(0);
        row.outcome = !settings->printerSelected.value(i) ? PrinterOutcome::NotTakingPart
                      : port                              ? PrinterOutcome::NotConnected
                                                          : PrinterOutcome::BadPort;
        row.block = int(blocks.size()) - 1;
        ++blockShown.back();
        counts.add(row.outcome);

        row.widget = new QWidget;
        auto *line = new QHBoxLayout(row.widget);
        line->setContentsMargins(0, 0, 0, 0);
        auto *name = new QLabel;
        name->setTextFormat(Qt::PlainText);
        name->setText(nameMetrics.elidedText(row.printer.name, Qt::ElideRight, nameWidth));
        // As rich text on one line, so that a name with "<" or "&" shows as it is.
        name->setToolTip(QStringLiteral("<p style=\"white-space:pre\">%1</p>")
                             .arg(row.printer.name.toHtmlEscaped()));
        name->setFixedWidth(nameWidth);
        line->addWidget(name);
        auto *bar = new QProgressBar;
        bar->setMinimumWidth(minBarWidth);
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
        cancel->setEnabled(!hasEnded(row.outcome));
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
    const int summaryNeeds = summaryWidth(metrics) + metrics.averageCharWidth() * 2;
    summaryLabel->setMinimumHeight(2 * metrics.lineSpacing());
    scroll->setMinimumWidth(
        std::max(wanted.width() + scroll->verticalScrollBar()->sizeHint().width(), summaryNeeds));
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
    connect(retryButton, &QPushButton::clicked, this, &TcpProgressDialog::retryFailed);
    connect(reportButton, &QPushButton::clicked, this, &TcpProgressDialog::chooseReportFile);
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
    // Printers it still connects end as stopped while their rows can take it.
    delete retrier;
    cancelButtons.clear();
    delete cancelAllButton;
    delete ui;
}

void TcpProgressDialog::setNotifier(Notifier *n)
{
    notifier = n;
    retrier->setNotifier(n ? n : ownBoxes.get());
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
            [this, connection] { retrier->stop(connection); });
    connect(cancelAllButton, &QPushButton::clicked, connection,
            [this, connection] { retrier->stop(connection); });
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
        return Timing::silenceText();
    const int rowsSent = row.connection ? row.connection->rowsSent() : 0;
    const int index = int(&row - rows.data());
    return outcomeText(outcome, rowsSent, progressBars.at(index)->maximum());
}

void TcpProgressDialog::outcomeChanged(int index)
{
    Row &row = rows[size_t(index)];
    const PrinterOutcome now = outcomeOf(row);
    // Nothing left to stop; "Ponów nieudane" starts the row again.
    cancelButtons.at(index)->setEnabled(!hasEnded(now));
    if (now != row.outcome) {
        counts.change(row.outcome, now);
        row.outcome = now;
        summaryDirty = true;
        updateButtons();
        // The last row to end makes the summary final at once.
        if (hasEnded(now) && counts.allEnded()) {
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
    if (shownRows != Filter::All && counts.counted(shownRows) == 0)
        setFilter(Filter::All);
    if (summaryDirty)
        showSummary();
}

void TcpProgressDialog::updateButtons()
{
    const bool allEnded = counts.allEnded();
    closeButton->setEnabled(allEnded || stoppedAll);
    retryButton->setEnabled(allEnded &&
                            counts.failed() + counts.of(PrinterOutcome::NotConnected) > 0);
}

bool TcpProgressDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, &TcpProgressDialog::refreshStale);
    return QDialog::eventFilter(watched, event);
}

void TcpProgressDialog::retryFailed()
{
    QList<RetryTarget> targets;
    for (const Row &row : rows)
        targets.append({row.connection, row.printer});
    stoppedAll = false;
    setFilter(Filter::All);
    for (const int index : retrier->retry(targets)) {
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

#pragma once

#include "core/transfer/outcomecounts.h"
#include "core/transfer/printeroutcome.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class Connection;
class FailedRetry;
class Notifier;
class ProgressThrottle;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
struct LinkSettings;

namespace Ui {
class TcpProgressDialog;
}

// The progress of a TCP/IP transfer: one row per printer entry (name, bar, the
// printer's state in words, "przerwij"), a summary line that counts the
// outcomes, then "Ponów nieudane", "Zapisz raport...", "Przerwij wszystko" and
// "Zamknij". The transfers run in the Connections; the dialog shows them and
// decides when it may be closed.
class TcpProgressDialog : public QDialog
{
    Q_OBJECT

public:
    // Names wider than this many average characters are cut short.
    static constexpr int maxNameChars = 30;
    static constexpr int minBarWidth = 200;

    explicit TcpProgressDialog(LinkSettings *settings, QWidget *parent = nullptr);
    ~TcpProgressDialog() override;

    // Shows a printer's line on its row's bar without a paint per line.
    void showValue(int row, int value);
    // The row follows this Connection's outcome from now on. A row never given
    // one has ended from the start: it did not take part or was not connected.
    void track(int row, Connection *connection);
    // Where the boxes about the report go; without one the dialog shows them.
    void setNotifier(Notifier *notifier);

    // Which rows the list shows; the summary's counts choose it.
    using Filter = OutcomeFilter;
    void setFilter(Filter filter);
    Filter filter() const { return shownRows; }
    // The summary as plain text.
    QString summary() const { return summaryPlain; }
    // Every row's outcome as it stands.
    QList<PrinterResult> results() const;
    bool saveReport(const QString &path);

    QList<QProgressBar *> progressBars;
    QList<QPushButton *> cancelButtons;
    QList<QLabel *> stateLabels;
    QLabel *summaryLabel = nullptr;
    QPushButton *retryButton = nullptr;
    QPushButton *reportButton = nullptr;
    QPushButton *cancelAllButton = nullptr;
    QPushButton *closeButton = nullptr;
    // Runs "Ponów nieudane": its pause and connect time-out may be set.
    FailedRetry *retrier = nullptr;

private slots:
    void ableToClose();

public slots:
    void isAbleToClose();
    // "Ponów nieudane": the failed printers again, each on a new connection.
    void retryFailed();
    // "Zapisz raport...": asks for a file and writes the report there.
    void chooseReportFile();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Row
    {
        QWidget *widget = nullptr;
        QPointer<Connection> connection;
        PrinterOutcome outcome = PrinterOutcome::NotConnected; // as counted
        PrinterAddress printer;
        int block = 0;
        int attempts = 1;
        bool dirty = false;
        bool stale = false; // its words wait until it is in view
    };

    PrinterOutcome outcomeOf(const Row &row) const;
    QString wordsFor(const Row &row) const;
    void outcomeChanged(int index);
    void markDirty(int index);
    void flushWords();
    // The least width that holds the longest summary in two lines.
    static int summaryWidth(const QFontMetrics &metrics);
    void showWords(int index);
    bool inView(int index) const;
    void refreshStale();
    void showSummary();
    void updateButtons();
    void applyFilter(int index);
    void followLink(const QString &key);

    Ui::TcpProgressDialog *ui;
    int finishedCount = 0;
    ProgressThrottle *throttle;
    Notifier *notifier = nullptr;
    std::unique_ptr<Notifier> ownBoxes; // without a notifier given

    std::vector<Row> rows;
    std::vector<QWidget *> blocks;
    std::vector<int> blockShown;
    std::vector<int> dirtyRows;
    std::vector<int> staleRows;
    // Rows per outcome, kept as the outcomes change.
    OutcomeCounts counts;
    bool stoppedAll = false;
    bool summaryDirty = true;
    QString summaryPlain;
    Filter shownRows = Filter::All;
    QTimer wordsTimer;
    QScrollArea *rowsArea = nullptr;
};

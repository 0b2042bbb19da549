#pragma once

#include <QDialog>
#include <QList>

class ProgressThrottle;
class QProgressBar;
class QPushButton;
struct LinkSettings;

namespace Ui {
class TcpProgressDialog;
}

// The progress of a TCP/IP transfer: one row per printer entry (name, bar,
// "przerwij"), then "Przerwij wszystko" and "Zamknij". It only lays out the rows
// and decides when the dialog may be closed; the transfers run elsewhere.
class TcpProgressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TcpProgressDialog(LinkSettings *settings, QWidget *parent = nullptr);
    ~TcpProgressDialog() override;

    // Shows a printer's line on its row's bar without a paint per line.
    void showValue(int row, int value);

    QList<QProgressBar *> progressBars;
    QList<QPushButton *> cancelButtons;
    QPushButton *cancelAllButton = nullptr;
    QPushButton *closeButton = nullptr;

private slots:
    void ableToClose();

public slots:
    void isAbleToClose();

private:
    Ui::TcpProgressDialog *ui;
    int finishedCount = 0;
    ProgressThrottle *throttle;
};

#pragma once

#include <QStandardItemModel>

// Items set into existing rows without the signals QStandardItemModel sends for
// each: a layout change per item, which makes the view walk all its rows every
// time. Once done, one change of the rows' data.
class QuietFill
{
public:
    QuietFill(QStandardItemModel *model, int first, int count)
        : model(model), first(first), count(count), wasBlocked(model->blockSignals(true))
    {
    }
    ~QuietFill()
    {
        model->blockSignals(wasBlocked);
        if (count > 0)
            emit model->dataChanged(model->index(first, 0),
                                    model->index(first + count - 1, model->columnCount() - 1));
    }
    QuietFill(const QuietFill &) = delete;
    QuietFill &operator=(const QuietFill &) = delete;

private:
    QStandardItemModel *model;
    int first, count;
    bool wasBlocked;
};

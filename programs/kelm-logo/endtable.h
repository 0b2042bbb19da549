#pragma once

#include "core/transfer/printeroutcome.h"

#include <QList>
#include <QString>

// Seconds as kelm-logo prints them: "1,5 s".
QString secondsText(double seconds);

// The table of printers left unprogrammed at the end of a run, grouped by
// outcome so that each kind of failure can be dealt with at once; empty when
// every printer succeeded.
QString unprogrammedTable(const QList<PrinterResult> &results);

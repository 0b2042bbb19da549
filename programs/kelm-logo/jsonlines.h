#pragma once

#include "core/transfer/printeroutcome.h"

class OutcomeCounts;

#include <QByteArray>
#include <QString>

// Where a printer listens: "address:port" ("[v6]:port"), or "port szeregowy NAME".
QString printerAddress(const PrinterResult &r);

// One printer as a JSON line; `number` is its 1-based place in the run.
QByteArray jsonLine(int number, const PrinterResult &result);
// The last JSON line: {"summary":{"printers":N,"<outcome key>":count,...,"exit_code":c}}.
QByteArray summaryLine(const OutcomeCounts &counts, int printers, int exitCode);

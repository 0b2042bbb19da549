// Feeds arbitrary bytes to the reader of printer files and aborts when a promise
// breaks: every entry passes the editor's checks, entries and refused lines
// together never exceed the lines, and an export of the entries reads back the same.
#include "core/config/printercsv.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const PrinterCsv csv = parsePrinterCsv(fuzzInput(data, size));
    check(csv.lines.size() == csv.entries.size(), "an entry without its line");
    for (int i = 0; i < csv.entries.size(); ++i) {
        const PrinterEntry &e = csv.entries.at(i);
        check(printerEntryProblem(e.name, e.address, e.port).isEmpty(),
              "an entry the editor refuses");
        check(!containsReservedWord(e.name) && !containsReservedWord(e.address) &&
                  !containsReservedWord(e.port),
              "an entry holding the reserved word");
        check(csv.lines.at(i) >= 1 && (i == 0 || csv.lines.at(i) > csv.lines.at(i - 1)),
              "entries out of line order");
    }
    for (const CsvLineProblem &problem : csv.problems)
        check(problem.line >= 1 && !problem.reason.isEmpty(), "a problem without line or reason");

    const PrinterCsv back = parsePrinterCsv(formatPrinterCsv(csv.entries));
    check(back.entries == csv.entries, "an export reads back differently");
    check(back.problems.isEmpty(), "an export reads back with problems");
    return 0;
}

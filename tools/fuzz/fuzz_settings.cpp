// Feeds arbitrary bytes to the settings reader and aborts when a promise breaks:
// the printer lists stay aligned, and what the next save writes loads back the same.
#include "core/config/settingsformat.h"
#include "fuzzinput.h"

namespace {

StoredSettings parsed(const QByteArray &content)
{
    StoredSettings settings;
    parseSettings(content, settings);
    return settings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const StoredSettings first = parsed(fuzzInput(data, size));
    const int n = first.printerCount();
    check(first.printerPorts.size() == n && first.printerNames.size() == n &&
              first.printerSelected.size() == n,
          "printer lists differ in length");

    // A link line naming neither link loads as no link and is saved as "COM".
    StoredSettings expected = first;
    if (n > 0 && expected.linkMode == 0)
        expected.linkMode = 1;
    const StoredSettings second = parsed(formatSettings(first));
    check(second == expected, "the saved file loads back differently");
    check(parsed(formatSettings(second)) == second, "the second save is not stable");
    return 0;
}

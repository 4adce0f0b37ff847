// The key-file loader on arbitrary bytes: it must refuse or accept without a fault, a key it
// accepts must come back the same through the writer, and its clock must read at any host time.
#include "onewire/key_file.h"

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const onewire::KeyFileResult r = onewire::parseKeyFile(text);
    if (!r.key) {
        if (r.error.empty())
            std::abort();
        return 0;
    }
    const onewire::KeyFileResult again = onewire::parseKeyFile(onewire::formatKeyFile(*r.key));
    if (!again.key || again.key->rom != r.key->rom || again.key->memory != r.key->memory
        || again.key->clockSeconds != r.key->clockSeconds
        || again.key->clockSetAt != r.key->clockSetAt || again.key->control != r.key->control)
        std::abort();
    for (int64_t now : { std::numeric_limits<int64_t>::min(), int64_t { 0 }, r.key->clockSetAt,
                         std::numeric_limits<int64_t>::max() }) {
        const uint32_t shown = onewire::clockAt(*r.key, now);
        if (!onewire::clockRunning(*r.key) && shown != r.key->clockSeconds)
            std::abort();
    }
    return 0;
}

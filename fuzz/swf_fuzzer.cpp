// libFuzzer target: arbitrary bytes as a movie file, read as `quorvel info` reads it (FWS, CWS
// or ZWS, the header, every tag, the symbols).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "swf/SwfInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SwfSummary summary = SummarizeSwf(std::vector<uint8_t>(data, data + size));
    // A file that could not be read at all says why.
    if (!summary.opened && summary.error.empty()) std::abort();
    for (const SwfSummary::Symbol& symbol : summary.symbols) {
        if (symbol.name.size() > size) std::abort();  // names come from the file's bytes
    }
    return 0;
}

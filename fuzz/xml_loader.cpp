// Arbitrary bytes as an XML data packet. A packet that loads must save and reload to exactly the
// same rows; a packet that does not load must leave the table as it was.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_compare.h"
#include "recording/data_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TableStore first;
    RowData marker;
    marker.no = 42;
    marker.texts[0] = "kept";
    first.append(marker);
    if (!loadPacketBytes(bytes, first)) {
        fuzzCheck(
            first.rowCount() == 1 && first.no(0) == 42 && first.text(0, Field::Time) == "kept",
            "a bad packet changed the table");
        return 0;
    }
    const std::string saved = tablePacketBytes(first);
    TableStore again;
    fuzzCheck(loadPacketBytes(saved, again), "a saved packet does not load");
    fuzzCheck(again.rowCount() == first.rowCount(), "row count");
    for (std::size_t r = 0; r < first.rowCount(); ++r) {
        fuzzCheck(again.no(r) == first.no(r), "No");
        fuzzCheck(again.nval(r) == first.nval(r), "Nval");
        for (std::size_t k = 1; k <= kTextFieldCount; ++k) {
            const auto f = static_cast<Field>(k);
            fuzzCheck(again.text(r, f) == first.text(r, f), "text field");
        }
    }
    fuzzCheck(tablePacketBytes(again) == saved, "saving is not stable");
    return 0;
}

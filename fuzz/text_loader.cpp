// Arbitrary bytes as a text data file. A file that loads must save and reload to the same rows,
// as the text file keeps them: texts trimmed of blanks and control characters, Nval dropped.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_compare.h"
#include "recording/data_files.h"

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TableStore first;
    if (!loadTextBytes(bytes, first)) {
        return 0;
    }
    const std::string saved = tableTextBytes(first);
    TableStore again;
    fuzzCheck(loadTextBytes(saved, again), "a saved text file does not load");
    fuzzCheck(again.rowCount() == first.rowCount(), "row count");
    for (std::size_t r = 0; r < first.rowCount(); ++r) {
        fuzzCheck(first.no(r).has_value() && again.no(r) == first.no(r), "No");
        fuzzCheck(!again.nval(r).has_value(), "Nval written to a text file");
        for (std::size_t k = 1; k <= kTextFieldCount; ++k) {
            const auto f = static_cast<Field>(k);
            fuzzCheck(again.text(r, f) == trimmed(first.text(r, f)), "text field");
        }
    }
    fuzzCheck(tableTextBytes(again) == saved, "saving is not stable");
    return 0;
}

// Arbitrary bytes as a ".csv" data file (the analysis CSV, or the text file under that name). A
// file that loads must save as CSV and reload to the same rows, and saving again must give the
// same bytes.
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
    if (!loadCsvBytes(bytes, first)) {
        return 0;
    }
    const std::string saved = tableCsvBytes(first);
    TableStore again;
    fuzzCheck(loadCsvBytes(saved, again), "a saved CSV file does not load");
    fuzzCheck(again.rowCount() == first.rowCount(), "row count");
    const std::string savedAgain = tableCsvBytes(again);
    TableStore third;
    fuzzCheck(loadCsvBytes(savedAgain, third), "a CSV file saved twice does not load");
    // The first load may hold what the file cannot (texts of foreign files); from the second
    // save on, the rows and the bytes stay as they are.
    for (std::size_t r = 0; r < again.rowCount(); ++r) {
        fuzzCheck(third.no(r) == again.no(r), "No");
        fuzzCheck(third.stamp(r) == again.stamp(r), "time stamp");
        for (std::size_t k = 1; k <= kTextFieldCount; ++k) {
            const auto f = static_cast<Field>(k);
            // Files hold texts without leading and trailing blanks, as the text file does.
            fuzzCheck(third.text(r, f) == trimmed(again.text(r, f)), "text field");
        }
    }
    fuzzCheck(tableCsvBytes(third) == savedAgain, "saving is not stable");
    (void)tableJsonLinesBytes(first);
    return 0;
}

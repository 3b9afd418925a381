// Arbitrary bytes as what a SCPI client sends, cut into lines as the server cuts them: every
// answer is whole (one LF, at its end), the error queue stays bounded, and the parser never
// reads outside its line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/scpi_parser.h"

namespace {

class Meter final : public ScpiInstrument {
public:
    std::string serial() const override { return "0"; }
    std::string version() const override { return "0.0.0"; }
    std::optional<Reading> lastReading() const override { return reading; }
    std::optional<Reading> reading;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Meter meter;
    if (!bytes.empty() && (bytes.front() & 1) != 0) {
        meter.reading =
            ScpiInstrument::Reading{ScpiInstrument::Reading::Overload::None, -1.5e-9, "CAP", "F"};
    }
    ScpiParser parser(meter);
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        if (line.size() <= ScpiParser::kMaxLine) {
            const std::string answer = parser.handleLine(line);
            if (!answer.empty() &&
                (answer.back() != '\n' || answer.find('\n') != answer.size() - 1)) {
                std::abort();
            }
        }
        if (parser.errorCount() > ScpiParser::kMaxErrors) {
            std::abort();
        }
        if (end == std::string_view::npos) {
            break;
        }
        bytes.remove_prefix(end + 1);
    }
    return 0;
}

#include "transport/hid/hid_report_descriptor.h"

#include <algorithm>
#include <array>
#include <map>

namespace {

// The global items that size a report, as Push and Pop save and restore them.
struct Globals {
    std::uint32_t reportSize = 0;   // bits per field
    std::uint32_t reportCount = 0;  // fields
    std::uint32_t reportId = 0;
};

// The kernel keeps four levels of Push; deeper pushes are ignored, as a Pop without a Push.
constexpr std::size_t kMaxPush = 4;
constexpr std::uint64_t kMaxBits = std::uint64_t{kHidMaxReportBytes} * 8;

std::uint16_t byteLength(const std::map<std::uint32_t, std::uint64_t>& bits) {
    std::uint64_t longest = 0;
    for (const auto& [id, count] : bits) {
        longest = std::max(longest, (count + 7) / 8);
    }
    if (bits.empty()) {
        return 0;
    }
    // One byte for the report ID, which is delivered also for devices without numbered reports.
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(longest + 1, kHidMaxReportBytes));
}

}  // namespace

HidCaps parseReportDescriptor(const std::uint8_t* data, std::size_t size) {
    Globals globals;
    std::array<Globals, kMaxPush> stack{};
    std::size_t depth = 0;
    bool numbered = false;
    // Bits per report ID, per kind of report.
    std::map<std::uint32_t, std::uint64_t> input, output, feature;

    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t prefix = data[i++];
        if (prefix == 0xFE) {  // long item: size byte, tag byte, data; declares no report
            if (i >= size) {
                break;
            }
            const std::size_t dataSize = data[i];
            if (size - i < 2 + dataSize) {
                break;
            }
            i += 2 + dataSize;
            continue;
        }
        const std::size_t dataSize = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
        if (size - i < dataSize) {
            break;  // truncated item
        }
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < dataSize; ++k) {
            value |= std::uint32_t{data[i + k]} << (8 * k);
        }
        i += dataSize;
        const int type = (prefix >> 2) & 0x03;
        const int tag = prefix >> 4;
        if (type == 0) {  // main item
            std::map<std::uint32_t, std::uint64_t>* kind = tag == 0x8   ? &input
                                                           : tag == 0x9 ? &output
                                                           : tag == 0xB ? &feature
                                                                        : nullptr;
            if (kind) {
                std::uint64_t& bits = (*kind)[globals.reportId];
                const std::uint64_t add =
                    std::uint64_t{globals.reportSize} * std::uint64_t{globals.reportCount};
                bits = std::min(kMaxBits, bits + std::min(add, kMaxBits));
            }
        } else if (type == 1) {  // global item
            switch (tag) {
                case 0x7:
                    globals.reportSize = value;
                    break;
                case 0x8:
                    globals.reportId = value;
                    numbered = true;
                    break;
                case 0x9:
                    globals.reportCount = value;
                    break;
                case 0xA:
                    if (depth < kMaxPush) {
                        stack[depth++] = globals;
                    }
                    break;
                case 0xB:
                    if (depth > 0) {
                        globals = stack[--depth];
                    }
                    break;
                default:
                    break;
            }
        }
    }
    HidCaps caps;
    caps.InputReportByteLength = byteLength(input);
    caps.OutputReportByteLength = byteLength(output);
    caps.FeatureReportByteLength = byteLength(feature);
    caps.NumberedReports = numbered;
    return caps;
}

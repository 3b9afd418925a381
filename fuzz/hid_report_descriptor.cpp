// Arbitrary report descriptors, as a device may send them, through the parser that sizes the
// reports the controller reads.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "transport/hid/hid_report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const HidCaps caps = parseReportDescriptor(data, size);
    fuzzCheck(caps.InputReportByteLength <= kHidMaxReportBytes);
    fuzzCheck(caps.OutputReportByteLength <= kHidMaxReportBytes);
    fuzzCheck(caps.FeatureReportByteLength <= kHidMaxReportBytes);
    fuzzCheck(parseReportDescriptor(data, size) == caps);
    return 0;
}

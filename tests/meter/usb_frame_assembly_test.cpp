#include "meter/usb_frame_assembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/frame_cut_log.h"
#include "tests/support/recording_consumer.h"

namespace {

class UsbFrameAssemblyTest : public ::testing::Test {
protected:
    UsbFrameAssemblyTest() { assembler.setListener(&log); }

    // Feeds bytes one per tick; returns the indices (0-based) of the bytes that asked for a
    // flush.
    std::vector<int> feed(const std::string& bytes) {
        std::vector<int> flushes;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (assembler.byteRead(static_cast<std::uint8_t>(bytes[i]))) {
                flushes.push_back(static_cast<int>(i));
            }
        }
        return flushes;
    }

    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    UsbFrameAssembler assembler{decoder};
    CutLog log;
};

std::string frame(const std::string& data) {
    return data + "\r\n";
}

struct FrameCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> cut;      // complete frames' texts
    std::vector<std::string> decoded;  // what the decoder got
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class UsbFrameCases : public UsbFrameAssemblyTest,
                      public ::testing::WithParamInterface<FrameCase> {};

TEST_P(UsbFrameCases, CompleteFramesAreTestedAndHandedOver) {
    const FrameCase& c = GetParam();
    feed(c.bytes);
    EXPECT_EQ(log.cut, c.cut);
    EXPECT_EQ(log.decoded, c.decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, UsbFrameCases,
    ::testing::Values(
        FrameCase{"LessThanAsEleventhByteBecomesC",
                  frame("0123456789<"),
                  {"A0123456789CD"},
                  {"A0123456789CD"}},
        FrameCase{"LessThanAsNinthByteIsTheDigitC",
                  frame("01234567<90"),
                  {"A01234567C90D"},
                  {"A01234567C90D"}},
        FrameCase{"LessThanAsNinthAndEleventhIsDecoded",
                  frame("01234567<9<"),
                  {"A01234567C9CD"},
                  {"A01234567C9CD"}},
        // The meter's nibbles A-F arrive as ":" to "?" and are the same digits as on the other
        // links.
        FrameCase{"ColonToQuestionMarkAreTheDigitsAToF",
                  frame("0:;<=>?0010"),
                  {"A0ABCDEF0010D"},
                  {"A0ABCDEF0010D"}},
        FrameCase{
            "PlainFrameIsDecoded", frame("00012340010"), {"A00012340010D"}, {"A00012340010D"}},
        FrameCase{"ZeroDataByteShortensTheTextAndDropsIt",
                  frame(std::string("0001\0"
                                    "340010",
                                    11)),
                  {"A0001D"},
                  {}},
        FrameCase{"TwoFramesInARow",
                  frame("00012340010") + frame("00043210010"),
                  {"A00012340010D", "A00043210010D"},
                  {"A00012340010D", "A00043210010D"}},
        // Other bytes stay as they came: the decoder refuses what is no digit.
        FrameCase{"OtherCharactersReachTheDecoderUnchanged",
                  frame("0G012340010"),
                  {"A0G012340010D"},
                  {"A0G012340010D"}},
        // The byte before LF is replaced by the end of the text whatever it is.
        FrameCase{"AnyTwelfthByteIsCut", "00012340010X\n", {"A00012340010D"}, {"A00012340010D"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UsbFrameAssemblyTest, TheExampleFrameDecodesAndEveryFrameFlushesOnce) {
    EXPECT_EQ(feed(frame("00012340010") + frame("00012340010")), (std::vector<int>{12, 25}));
    EXPECT_EQ(decoder.reading().valueText, "1.234");
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A00012340010D", "A00012340010D"}));
    EXPECT_EQ(assembler.UsbFramePos(), 0);
}

TEST_F(UsbFrameAssemblyTest, EarlyLineFeedZeroesTheBufferButKeepsThePosition) {
    // Started in mid-frame: five bytes, the line feed as the sixth.
    EXPECT_EQ(feed("40010\n"), std::vector<int>{5});
    EXPECT_EQ(assembler.UsbFramePos(), 6);
    for (std::size_t i = 0; i < UsbFrameAssembler::kBufferSize; ++i) {
        ASSERT_EQ(assembler.UsbFrameBuffer()[i], 0) << i;
    }
    // The next bytes fill positions 6..12: the 13th resets and flushes, nothing is cut.
    EXPECT_EQ(feed("0001234"), std::vector<int>{6});
    EXPECT_EQ(assembler.UsbFramePos(), 0);
    EXPECT_TRUE(log.cut.empty());
    // A line feed landing as the 13th byte on the zeroed buffer gives "AD": never decoded.
    EXPECT_EQ(feed("40010\n"), std::vector<int>{5});
    EXPECT_EQ(feed("000123\n"), std::vector<int>{6});
    EXPECT_EQ(log.cut, std::vector<std::string>{"AD"});
    EXPECT_TRUE(log.decoded.empty());
    // From position 0 a whole frame decodes again.
    feed(frame("00043210010"));
    EXPECT_EQ(log.decoded, std::vector<std::string>{"A00043210010D"});
}

TEST_F(UsbFrameAssemblyTest, ThirteenBytesWithoutALineFeedResetAndFlush) {
    EXPECT_EQ(feed("0123456789012"), std::vector<int>{12});
    EXPECT_EQ(assembler.UsbFramePos(), 0);
    EXPECT_TRUE(log.cut.empty());
    // The bytes stay in the buffer at their positions; the next frame overwrites them.
    EXPECT_EQ(assembler.UsbFrameBuffer()[12], '2');
    feed(frame("00012340010"));
    EXPECT_EQ(log.decoded, std::vector<std::string>{"A00012340010D"});
}

}  // namespace

#include "meter/frame_assembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/frame_cut_log.h"
#include "tests/support/frames.h"
#include "tests/support/recording_consumer.h"

namespace {

const std::uint8_t* bytesOf(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

class QuillerDataTest : public ::testing::Test {
protected:
    QuillerDataTest() { quiller.setListener(&log); }

    void feed(const std::string& bytes) { quiller.receive(bytesOf(bytes), bytes.size()); }

    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    QuillerData quiller{decoder};
    CutLog log;
};

TEST_F(QuillerDataTest, CutsTheExampleFrameAndDecodesIt) {
    const std::string bytes("\x0A\x30\x30\x30\x31\x32\x33\x34\x30\x30\x31\x30\x0D", 13);
    ASSERT_EQ(bytes, meterFrameBytes("00012340010"));
    feed(bytes);
    EXPECT_EQ(log.decoded, std::vector<std::string>{"A00012340010D"});
    EXPECT_EQ(consumer.frameTexts, std::vector<std::string>{"A00012340010D"});  // shown once
    EXPECT_EQ(decoder.reading().valueText, "1.234");
    EXPECT_EQ(consumer.barPosition, 12);
    EXPECT_EQ(quiller.pendingText(), "");
}

TEST_F(QuillerDataTest, AssemblesFramesAcrossAnySplitOfTheBatches) {
    const std::string two = meterFrameBytes("00012340010") + meterFrameBytes("00156780010");
    for (std::size_t cut = 0; cut <= two.size(); ++cut) {
        SCOPED_TRACE(cut);
        log.decoded.clear();
        feed(two.substr(0, cut));
        feed(two.substr(cut));
        EXPECT_EQ(log.decoded, (std::vector<std::string>{"A00012340010D", "A00156780010D"}));
    }
    // Byte by byte as well.
    log.decoded.clear();
    for (char c : two) {
        feed(std::string(1, c));
    }
    EXPECT_EQ(log.decoded.size(), 2u);
}

TEST_F(QuillerDataTest, OnlyTheCarriageReturnEndsAFrame) {
    // 0x3D carries the nibble D but is a data byte; here it is the unread frequency code.
    feed(meterFrameBytes("0001234D010"));
    EXPECT_EQ(log.decoded, std::vector<std::string>{"A0001234D010D"});
    EXPECT_FALSE(decoder.lastOutcome().failed);
}

TEST_F(QuillerDataTest, DropsTheFirstTextAfterStartingMidFrame) {
    feed("\x32\x33\x30\x31\x30\x0D" + meterFrameBytes("00012340010"));
    EXPECT_EQ(log.cut, (std::vector<std::string>{"23010D", "A00012340010D"}));
    EXPECT_EQ(log.decoded, std::vector<std::string>{"A00012340010D"});
    // The dropped text still reaches the diagnostic label, before the decoded one.
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"23010D", "A00012340010D"}));
}

TEST_F(QuillerDataTest, TwelveDataBytesAreDecodedOnlyWhenTheTwelfthCarriesD) {
    feed(meterFrameBytes("00012340010D"));
    feed(meterFrameBytes("000123400105"));
    EXPECT_EQ(log.cut, (std::vector<std::string>{"A00012340010DD", "A000123400105D"}));
    EXPECT_EQ(log.decoded, std::vector<std::string>{"A00012340010DD"});
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A00012340010DD", "A000123400105D"}));
    EXPECT_EQ(decoder.reading().valueText, "1.234");  // the first 11 data nibbles
}

TEST_F(QuillerDataTest, ALongRunIsCutToItsFirst21Characters) {
    // 40 data bytes without a carriage return; character 13 happens to be D.
    feed(meterFrameBytes("00012340010D" + std::string(28, '7')));
    ASSERT_EQ(log.cut.size(), 1u);
    EXPECT_EQ(log.cut[0], "A00012340010D77777777");
    EXPECT_EQ(log.decoded.size(), 1u);

    feed(meterFrameBytes(std::string(40, '1')));
    EXPECT_EQ(log.cut.back(), "A" + std::string(20, '1'));
    EXPECT_EQ(log.decoded.size(), 1u);

    // A run of any length keeps the assembler text at 21 characters.
    feed(std::string(100000, '\x35'));
    EXPECT_EQ(quiller.pendingText(), std::string(21, '5'));
}

TEST_F(QuillerDataTest, AFailedFrameLeavesTheAssemblerReadyForTheNext) {
    feed(meterFrameBytes("B0012340010") + meterFrameBytes("00012340010"));
    ASSERT_EQ(consumer.messages, std::vector<std::string>{"'B' is not a valid integer value"});
    EXPECT_EQ(log.decoded.size(), 2u);
    EXPECT_FALSE(decoder.lastOutcome().failed);
    EXPECT_EQ(consumer.recorded, 1);
}

// --- the handlers of the other profiles ----------------------------------------------------------

TEST(PelmarkDATATest, HandsOnFourteenCharacterFramesWithoutDecoding) {
    RecordingConsumer consumer;
    PelmarkDATA pelmark(consumer);
    const std::string good = meterFrameBytes("0123456789AB");
    const std::string short11 = meterFrameBytes("0123456789A");
    const std::string all = good + short11;
    pelmark.receive(bytesOf(all), all.size());
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A0123456789ABD", "A0123456789AD"}));
    EXPECT_EQ(pelmark.acceptedFrames(), 1u);
    EXPECT_EQ(consumer.takeCalls(), "frameText frameText");  // nothing is decoded
}

TEST(TarrowDataTest, FramesAreTheNineNibblesPlusDA) {
    RecordingConsumer consumer;
    TarrowData tarrow(consumer);
    const std::string all =
        meterFrameBytes("123456789") + meterFrameBytes("12345678") + meterFrameBytes("");
    tarrow.receive(bytesOf(all), all.size());
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"123456789DA", "12345678DDA", "DDA"}));
    EXPECT_EQ(tarrow.acceptedFrames(), 1u);
    EXPECT_EQ(consumer.takeCalls(), "frameText frameText frameText");
}

}  // namespace

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

// --- HID reports ---------------------------------------------------------------------------------

// A report's payload: the count byte, then the meter bytes.
std::vector<std::uint8_t> payload(std::uint8_t count, std::vector<std::uint8_t> bytes = {}) {
    bytes.insert(bytes.begin(), count);
    return bytes;
}

template <typename Handler>
void send(Handler& h, const std::vector<std::uint8_t>& p) {
    h.report(0, p.data(), p.size());
}

TEST(PelmarkReportDataTest, AcceptsFourteenBytesInOrderOfTheirHighNibbles) {
    RecordingConsumer consumer;
    PelmarkReportData handler(consumer);
    send(handler, payload(7, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    send(handler, payload(7, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
    EXPECT_TRUE(consumer.frameTexts.empty());
    send(handler, payload(0));
    EXPECT_EQ(consumer.frameTexts, std::vector<std::string>{"123456789ABCDE"});
    EXPECT_EQ(handler.acceptedFrames(), 1u);

    // Two bytes swapped: shown, not accepted.
    send(handler, payload(7, {0x11, 0x33, 0x22, 0x44, 0x55, 0x66, 0x77}));
    send(handler, payload(7, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
    send(handler, payload(0));
    EXPECT_EQ(consumer.frameTexts.back(), "132456789ABCDE");
    EXPECT_EQ(handler.acceptedFrames(), 1u);
}

TEST(HidFrameCollectorTest, CountsEmptyReportsAndEndsFramesOnReportsWithoutMeterBytes) {
    HidFrameCollector c;
    EXPECT_FALSE(c.report(nullptr, 0));  // empty payload: not counted
    EXPECT_EQ(c.emptyReportCount(), 0);
    const auto none = payload(0, {0x31});
    for (int i = 0; i < 5; ++i) {
        c.report(none.data(), none.size());
    }
    EXPECT_EQ(c.emptyReportCount(), 5);

    // A count beyond the bytes present takes only those present.
    const auto data = payload(0x09, {0x31, 0x32, 0x33});
    EXPECT_FALSE(c.report(data.data(), data.size()));
    EXPECT_EQ(c.emptyReportCount(), 0);
    EXPECT_TRUE(c.frameOpen());

    // A count nibble of 10-15 ends the frame like an empty report.
    const auto big = payload(0x1A, {0x34, 0x35});
    EXPECT_TRUE(c.report(big.data(), big.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.endedFrame()), c.endedFrameSize()),
              "123");
    EXPECT_EQ(c.emptyReportCount(), 1);
    EXPECT_FALSE(c.frameOpen());
    EXPECT_FALSE(c.report(big.data(), big.size()));  // no frame open: nothing ends
}

class HidReportDataTest : public ::testing::Test {
protected:
    HidReportDataTest() { handler.setListener(&log); }

    // The meter's bytes for one frame (data, CR, LF) in reports of up to four bytes, then an
    // empty report.
    void sendFrame(const std::string& meterBytes) {
        for (std::size_t i = 0; i < meterBytes.size(); i += 4) {
            const std::string part = meterBytes.substr(i, 4);
            send(handler, payload(static_cast<std::uint8_t>(part.size()),
                                  std::vector<std::uint8_t>(part.begin(), part.end())));
        }
        send(handler, payload(0));
    }

    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    HidReportData handler{decoder};
    CutLog log;
};

TEST_F(HidReportDataTest, RebuildsTheSerialFrameTextFromTheReports) {
    // Data, CR, LF: the LF's "A" moves to the front.
    sendFrame(meterFrameBytes("00012340010").substr(1) + "\x0A");
    EXPECT_EQ(log.decoded, std::vector<std::string>{"A00012340010D"});
    EXPECT_EQ(decoder.reading().valueText, "1.234");

    // 14 bytes: the same frame from the first 13.
    sendFrame(meterFrameBytes("00156780010").substr(1) + "\x0A\x0A");
    EXPECT_EQ(log.decoded.back(), "A00156780010D");

    // 12 bytes are never decoded.
    sendFrame(meterFrameBytes("00012340010").substr(1));
    EXPECT_EQ(log.cut.back(), "D00012340010D");
    EXPECT_EQ(log.decoded.size(), 2u);
}

}  // namespace

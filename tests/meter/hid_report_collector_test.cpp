#include "meter/hid_report_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/frames.h"
#include "tests/support/recording_consumer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A report's payload: the count byte, then the bytes the report holds.
Bytes payload(std::uint8_t count, Bytes bytes = {}) {
    bytes.insert(bytes.begin(), count);
    return bytes;
}

// The meter's bytes as reports of up to four, then a report without meter bytes.
std::vector<Bytes> frameReports(const std::string& meterBytes) {
    std::vector<Bytes> reports;
    for (std::size_t i = 0; i < meterBytes.size(); i += 4) {
        const std::string part = meterBytes.substr(i, 4);
        reports.push_back(
            payload(static_cast<std::uint8_t>(part.size()), Bytes(part.begin(), part.end())));
    }
    reports.push_back(payload(0));
    return reports;
}

// The bytes a cable delivers for a frame: 11 data bytes, CR, LF.
std::string cableFrame(const std::string& nibbles) {
    return meterFrameBytes(nibbles).substr(1) + "\x0A";
}

struct Log : HidReportLog, FrameListener {
    std::vector<std::string> history, memo1, memo2, cut, decoded;
    void reportLine(std::string_view line) override { history.emplace_back(line); }
    void frameLines(std::string_view hex, std::string_view nibbles) override {
        memo2.emplace_back(hex);
        memo1.emplace_back(nibbles);
    }
    void frameCut(std::string_view text, const DecodeOutcome* outcome) override {
        cut.emplace_back(text);
        if (outcome != nullptr) {
            decoded.emplace_back(text);
        }
    }
};

class Collector {
public:
    Collector() {
        collector.setLog(&log);
        collector.setListener(&log);
    }
    void send(const Bytes& p, std::uint8_t id = 0) {
        collector.HidReportData(id, p.data(), p.size());
    }
    void sendAll(const std::vector<Bytes>& reports) {
        for (const Bytes& p : reports) {
            send(p);
        }
    }

    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    HidReportCollector collector{decoder};
    Log log;
};

struct Case {
    const char* name;
    std::vector<Bytes> reports;
    std::vector<std::string> decoded;  // frame texts handed to the decoder
    std::vector<std::string> cut;      // every ended frame's text
    std::vector<std::string> memo2;    // HidHexText of each ended frame
    std::int32_t emptyReportCount;
    std::string pendingHex;  // HidHexText after the last report
    std::size_t historyLines;
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::vector<Bytes> concat(std::vector<std::vector<Bytes>> parts) {
    std::vector<Bytes> all;
    for (auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

const std::string kHex13 =
    "3030303132333430303130"
    "0D0A";

const Case kCases[] = {
    {"ThirteenBytesAreDecoded",
     frameReports(cableFrame("00012340010")),
     {"A00012340010D"},
     {"A00012340010D"},
     {kHex13},
     1,
     "",
     4},
    {"FourteenBytesGiveTheFrameOfTheFirstThirteen",
     frameReports(cableFrame("00156780010") + "\x0A"),
     {"A00156780010D"},
     {"A00156780010D"},
     {"30303135363738303031300D0A0A"},
     1,
     "",
     4},
    {"TwelveBytesAreNeverDecoded",
     frameReports(cableFrame("00012340010").substr(0, 12)),
     {},
     {"D00012340010D"},
     {"3030303132333430303130"
      "0D"},
     1,
     "",
     3},
    {"TwoDataReportsInARowExtendOneFrame",
     {payload(2, {0x31, 0x32}), payload(1, {0x33}), payload(0)},
     {},
     {"3123"},
     {"313233"},
     1,
     "",
     2},
    {"ACountBeyondTheBytesHeldTakesOnlyThoseHeld",
     {payload(9, {0x31, 0x32, 0x33})},
     {},
     {},
     {},
     0,
     "313233",
     1},
    {"ACountOfZeroWithoutAFrameOnlyCounts", {payload(0, {0x31}), payload(0)}, {}, {}, {}, 2, "", 0},
    {"CountTenEndsAFrameAndItsBytesAreNotUsed",
     {payload(1, {0x31}), payload(0x0A, {0x34, 0x35})},
     {},
     {"11"},
     {"31"},
     1,
     "",
     1},
    {"CountFifteenEndsAFrameLikeAnEmptyReport",
     {payload(1, {0x31}), payload(0xFF, {0x34})},
     {},
     {"11"},
     {"31"},
     1,
     "",
     1},
    {"TheHighNibbleOfTheCountByteIsIgnored",
     {payload(0x12, {0x41, 0x42})},
     {},
     {},
     {},
     0,
     "4142",
     1},
    {"AnEmptyPayloadEndsAFrameButIsNotCounted",
     {Bytes{}, payload(1, {0x31}), Bytes{}},
     {},
     {"11"},
     {"31"},
     0,
     "",
     1},
    {"ACountWithNoBytesHeldStillOpensAFrame", {payload(3), payload(0)}, {}, {""}, {""}, 1, "", 1},
    {"TwoFramesBackToBack",
     concat({frameReports(cableFrame("00012340010")), frameReports(cableFrame("00156780010"))}),
     {"A00012340010D", "A00156780010D"},
     {"A00012340010D", "A00156780010D"},
     {kHex13, "30303135363738303031300D0A"},
     1,
     "",
     8},
};

class HidReportDataCases : public ::testing::TestWithParam<Case> {};

TEST_P(HidReportDataCases, CollectsFramesAndLogsThem) {
    const Case& c = GetParam();
    Collector h;
    h.sendAll(c.reports);
    EXPECT_EQ(h.log.decoded, c.decoded);
    EXPECT_EQ(h.log.cut, c.cut);
    EXPECT_EQ(h.log.memo2, c.memo2);
    EXPECT_EQ(h.collector.emptyReportCount(), c.emptyReportCount);
    EXPECT_EQ(h.collector.hidHexText(), c.pendingHex);
    EXPECT_EQ(h.collector.frameOpen(), !c.pendingHex.empty());
    EXPECT_EQ(h.log.history.size(), c.historyLines);
    // Memo1 holds the low digits of the first 13 bytes of each Memo2 line.
    ASSERT_EQ(h.log.memo1.size(), c.memo2.size());
    for (std::size_t i = 0; i < c.memo2.size(); ++i) {
        std::string f;
        for (std::size_t k = 1; k < c.memo2[i].size() && f.size() < 13; k += 2) {
            f += c.memo2[i][k];
        }
        EXPECT_EQ(h.log.memo1[i], f);
    }
}

INSTANTIATE_TEST_SUITE_P(Reports, HidReportDataCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HidReportCollectorTest, TheReportLineShowsTheIdAndEveryPayloadByte) {
    Collector h;
    h.send(payload(0x03, {0x31, 0x32, 0x33, 0x00, 0xAB}), 0x00);
    h.send(payload(0x01, {0xFE}), 0x5C);
    EXPECT_EQ(h.log.history,
              (std::vector<std::string>{"R 00  03 31 32 33 00 AB ", "R 5C  01 FE "}));
    EXPECT_EQ(h.collector.hidHexText(), "313233FE");

    std::string line;
    HidReportCollector::formatReportLine(0xA0, nullptr, 0, line);
    EXPECT_EQ(line, "R A0  ");
}

TEST(HidReportCollectorTest, TheDecodedFrameDrivesTheReading) {
    Collector h;
    h.sendAll(frameReports(cableFrame("00012340010")));
    EXPECT_EQ(h.decoder.reading().valueText, "1.234");
    EXPECT_EQ(h.consumer.frameTexts, std::vector<std::string>{"A00012340010D"});
    EXPECT_EQ(h.consumer.recorded, 1);
}

TEST(HidReportCollectorTest, AFrameWithoutEndKeepsOnlyItsFirstBytes) {
    Collector h;
    const Bytes nine = payload(9, Bytes(9, 0x37));
    for (int i = 0; i < 10000; ++i) {
        h.send(nine);
    }
    EXPECT_EQ(h.collector.hidHexText().size(), 2 * HidReportCollector::kMaxFrameBytes);
    h.send(payload(0));
    ASSERT_EQ(h.log.memo2.size(), 1u);
    EXPECT_EQ(h.log.memo2[0].size(), 2 * HidReportCollector::kMaxFrameBytes);
    EXPECT_EQ(h.log.memo1[0], std::string(13, '7'));
}

TEST(HidReportCollectorTest, TheEmptyReportCountStopsAtItsLargestValue) {
    Collector h;
    const Bytes none = payload(0, {0x00});
    for (int i = 0; i < 2500; ++i) {
        h.send(none);
    }
    EXPECT_EQ(h.collector.emptyReportCount(), 2500);
    h.collector.resetEmptyReportCount();
    EXPECT_EQ(h.collector.emptyReportCount(), 0);
}

// Both handlers share one HidHexText, FrameOpen and EmptyReportCount.
TEST(PelmarkReportDataTest, AcceptsFourteenBytesInOrderOfTheirHighNibbles) {
    Collector h;
    auto pelmark = [&](const Bytes& p) { h.collector.PelmarkReportData(0, p.data(), p.size()); };
    pelmark(payload(7, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    pelmark(payload(7, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
    EXPECT_TRUE(h.consumer.frameTexts.empty());
    EXPECT_EQ(h.log.history.size(), 2u);
    pelmark(payload(0));
    EXPECT_EQ(h.consumer.frameTexts, std::vector<std::string>{"123456789ABCDE"});
    EXPECT_EQ(h.collector.pelmarkAcceptedFrames(), 1u);
    EXPECT_TRUE(h.log.memo1.empty());                // no memo lines
    EXPECT_EQ(h.consumer.takeCalls(), "frameText");  // nothing is decoded

    // Two bytes swapped: shown, not accepted.
    pelmark(payload(7, {0x11, 0x33, 0x22, 0x44, 0x55, 0x66, 0x77}));
    pelmark(payload(7, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
    pelmark(payload(0));
    EXPECT_EQ(h.consumer.frameTexts.back(), "132456789ABCDE");
    EXPECT_EQ(h.collector.pelmarkAcceptedFrames(), 1u);

    // A frame begun under one handler is ended by the other with the same state.
    h.send(payload(7, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    pelmark(payload(7, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
    EXPECT_EQ(h.collector.emptyReportCount(), 0);
    pelmark(payload(0));
    EXPECT_EQ(h.collector.pelmarkAcceptedFrames(), 2u);
    EXPECT_EQ(h.collector.emptyReportCount(), 1);
    EXPECT_FALSE(h.collector.frameOpen());
    EXPECT_TRUE(h.collector.hidHexText().empty());
}

}  // namespace

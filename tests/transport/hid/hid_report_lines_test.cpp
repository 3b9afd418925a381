// The text form of HID reports: written, parsed back, read from files.
#include "transport/hid/hid_report_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HidReportLinesTest, AWrittenLineParsesBackToTheSameReport) {
    const Bytes payload = {0x03, 0x31, 0x32, 0x33, 0x00, 0xFF, 0xAB};
    std::string line;
    formatHidReportLine(0x0A, payload.data(), payload.size(), line);
    EXPECT_EQ(line, "0A 03 31 32 33 00 FF AB");
    Bytes parsed;
    std::string error;
    ASSERT_TRUE(parseHidReportLine(line, parsed, error)) << error;
    EXPECT_EQ(parsed, (Bytes{0x0A, 0x03, 0x31, 0x32, 0x33, 0x00, 0xFF, 0xAB}));

    formatHidReportLine(0x00, nullptr, 0, line);  // a report without payload
    EXPECT_EQ(line, "00");
    ASSERT_TRUE(parseHidReportLine(line, parsed, error));
    EXPECT_EQ(parsed, Bytes{0x00});

    // Trailing blanks and a carriage return (a file edited on Windows) are allowed.
    ASSERT_TRUE(parseHidReportLine("00 01 0A \r", parsed, error)) << error;
    EXPECT_EQ(parsed, (Bytes{0x00, 0x01, 0x0A}));
}

struct Malformed {
    const char* line;
    const char* error;
};

class HidReportLineErrors : public ::testing::TestWithParam<Malformed> {};

TEST_P(HidReportLineErrors, SayWhatIsWrongAndWhere) {
    Bytes parsed;
    std::string error;
    EXPECT_FALSE(parseHidReportLine(GetParam().line, parsed, error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HidReportLineErrors,
    ::testing::Values(
        Malformed{"00 4 31", "expected two upper-case hexadecimal digits at column 5"},
        Malformed{"00 0a", "expected two upper-case hexadecimal digits at column 5"},
        Malformed{"00  31", "expected two upper-case hexadecimal digits at column 4"},
        Malformed{"0031", "expected a blank at column 3"},
        Malformed{"00\t31", "expected a blank at column 3"},
        Malformed{"R 00  03", "expected two upper-case hexadecimal digits at column 1"},
        Malformed{"G0", "expected two upper-case hexadecimal digits at column 1"},
        Malformed{"00 031", "expected a blank at column 6"}));

// Reads every report of a file, or the error.
std::vector<Bytes> readAll(const std::string& text, std::string& error) {
    TempFolder folder;
    TempFolder::write(folder.path("reports.txt"), text);
    std::FILE* in = std::fopen(folder.path("reports.txt").c_str(), "rb");
    HidReportLineReader reader(in);
    std::vector<Bytes> reports;
    HidReportLineReader::Result result;
    while ((result = reader.next()) == HidReportLineReader::Result::Report) {
        Bytes report{reader.reportId()};
        report.insert(report.end(), reader.payload(), reader.payload() + reader.payloadSize());
        reports.push_back(report);
    }
    std::fclose(in);
    error = result == HidReportLineReader::Result::Error ? reader.error() : "";
    return reports;
}

TEST(HidReportLineReaderTest, SkipsBlankAndCommentLinesAndNamesTheBadLine) {
    std::string error;
    auto reports = readAll("# captured\n\n00 01 31\r\n   \n#00 zz\n00 00\n00 01 32", error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(reports, (std::vector<Bytes>{{0x00, 0x01, 0x31}, {0x00, 0x00}, {0x00, 0x01, 0x32}}));

    reports = readAll("00 01 31\n\n# fine\n00 1 32\n00 00\n", error);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(error, "line 4: expected two upper-case hexadecimal digits at column 5");

    reports = readAll("", error);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(error, "");
}

TEST(HidReportLineReaderTest, TheLongestReportIsReadAndALongerLineRefused) {
    std::string line;
    const Bytes payload(kMaxHidReportPayload, 0x5A);
    formatHidReportLine(0x01, payload.data(), payload.size(), line);
    std::string error;
    auto reports = readAll(line + "\n" + line + " 00\n", error);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].size(), kMaxHidReportPayload + 1);
    EXPECT_EQ(error, "line 2: more than 65535 payload bytes");

    // A line without end is cut where no report can reach and refused.
    reports = readAll(std::string(1 << 20, '0'), error);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(error, "line 1: more than 65535 payload bytes");
}

}  // namespace

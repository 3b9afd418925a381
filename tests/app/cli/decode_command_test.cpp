#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "recording/data_files.h"
#include "tests/support/frames.h"
#include "tests/support/temp_folder.h"

namespace {

struct ProcessRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the real program on a capture written to disk, as a user would.
class DecodeCommandTest : public ::testing::Test {
protected:
    TempFolder folder;

    ProcessRun decode(const std::string& capture, const std::string& arguments,
                      const std::string& environment = "") {
        TempFolder::write(folder.path("capture.bin"), capture);
        const std::string out = folder.path("stdout");
        const std::string err = folder.path("stderr");
        const std::string command = environment + " '" + HALVERN_BINARY + "' decode " + arguments +
                                    " '" + folder.path("capture.bin") + "' >'" + out + "' 2>'" +
                                    err + "'";
        const int raw = std::system(command.c_str());
        ProcessRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = TempFolder::read(out);
        run.err = TempFolder::read(err);
        return run;
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            result.push_back(text.substr(start, end - start));
        }
        return result;
    }
};

TEST_F(DecodeCommandTest, TracesEveryDecodedFrameWithItsElevenColumns) {
    // a frame, a frame that fails on its function code, line noise, an overload in "40 V"
    const std::string capture = meterFrameBytes("00012340010") + meterFrameBytes("B0012340010") +
                                std::string("\x31\x32\x0D", 3) + meterFrameBytes("00100000500");
    const ProcessRun run = decode(capture, "--trace --decimal-separator .");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto traced = lines(run.out);
    ASSERT_EQ(traced.size(), 3u) << run.out;
    EXPECT_EQ(traced[0], "A00012340010D\tDCV\t1.234\tV\t4 V\tAuto\t1234\t4\t12\trow1\t");
    EXPECT_EQ(traced[1], "AB0012340010D\t\t\t\t\t\t\t\t\t-\t'B' is not a valid integer value");
    EXPECT_EQ(traced[2], "A00100000500D\tDCV\t-0@\tV\t40 V\t\t-4001\t4\t40\trow2\t");
}

TEST_F(DecodeCommandTest, ReplaysTheUsbBridgesBytesThroughItsOwnAssembler) {
    // Started in mid-frame: the link read the end of a frame and the start of the next, whose
    // rest its flush discarded. Then the example frame, "<" as 11th byte, "<" as 9th byte (high
    // voltage with minus), "=" as 10th byte (HOLD, MAX, Auto), the example again: ":" to "?" are
    // the meter's nibbles A to F.
    const std::string capture = std::string("0010\r\n0001234") + "00012340010\r\n" +
                                "0001234001<\r\n" + "00012340<10\r\n" + "000123400=0\r\n" +
                                "00012340010\r\n";
    const ProcessRun run = decode(capture, "--link usb-bridge --trace --decimal-separator .");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto traced = lines(run.out);
    ASSERT_EQ(traced.size(), 5u) << run.out;
    EXPECT_EQ(traced[0], "A00012340010D\tDCV\t1.234\tV\t4 V\tAuto\t1234\t4\t12\trow1\t");
    EXPECT_EQ(traced[1].substr(0, 14), "A0001234001CD\t");
    EXPECT_EQ(traced[4].substr(0, 14), "A00012340010D\t");
    // The frames with nibbles A-F decode exactly as the same frames from the serial link.
    const ProcessRun serial =
        decode(meterFrameBytes("00012340010") + meterFrameBytes("0001234001C") +
                   meterFrameBytes("00012340C10") + meterFrameBytes("000123400D0"),
               "--trace --decimal-separator .");
    const auto serialTraced = lines(serial.out);
    ASSERT_EQ(serialTraced.size(), 4u) << serial.out;
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(traced[i], serialTraced[i]);
    }
    // The same bytes as a serial capture give other frames: the link is not the default.
    EXPECT_NE(decode(capture, "--trace --decimal-separator .").out, run.out);
    EXPECT_EQ(decode(capture, "--link serial --trace --decimal-separator .").out,
              decode(capture, "--trace --decimal-separator .").out);
    // Rows without --trace.
    const ProcessRun rows = decode(capture, "--link usb-bridge");
    ASSERT_EQ(rows.status, 0) << rows.err;
    EXPECT_EQ(lines(rows.out).size(), 1u + 5u) << rows.out;
    EXPECT_EQ(decode(capture, "--link usb").status, 2);
}

TEST_F(DecodeCommandTest, WritesTheRecordedTableByTheRecordingRules) {
    std::string capture;
    for (int i = 0; i < 5; ++i) {
        capture += meterFrameBytes("00012340010");  // five equal readings
    }
    capture += meterFrameBytes("00012350010");

    struct Case {
        std::string arguments;
        std::size_t rows;
    };
    const std::vector<Case> cases = {
        {"--decimal-separator ,", 6},
        {"--no-repeat", 2},       // equal readings are recorded once
        {"--record-limit 2", 3},  // the limit admits limit + 1 rows
        {"--no-repeat --record-limit 0", 1},
    };
    for (const Case& c : cases) {
        const ProcessRun run = decode(capture, c.arguments);
        ASSERT_EQ(run.status, 0) << c.arguments << ": " << run.err;
        const auto rows = lines(run.out);
        ASSERT_EQ(rows.size(), c.rows + 1) << c.arguments;
        EXPECT_EQ(rows[0], "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r") << c.arguments;
    }
    EXPECT_NE(decode(capture, "--decimal-separator ,").out.find("\tDCV\t1,234\tV\t4 V\tAuto\r\n"),
              std::string::npos);
}

TEST_F(DecodeCommandTest, SavesAPacketThatLoadsBackWithItsNumericValues) {
    const ProcessRun run = decode(meterFrameBytes("00012340010") + meterFrameBytes("00004050410"),
                                  "--save '" + folder.path("readings.xml") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    TableStore table;
    ASSERT_TRUE(LoadDataFile(folder.path("readings.xml"), table, false).ok);
    ASSERT_EQ(table.rowCount(), 2u);
    EXPECT_EQ(table.nval(0), 1234);
    EXPECT_EQ(table.nval(1), -405);
}

TEST_F(DecodeCommandTest, BadArgumentsAndMissingInputAreReportedClearly) {
    EXPECT_EQ(decode("", "--record-limit x").status, 2);
    EXPECT_EQ(decode("", "--bogus").status, 2);
    const ProcessRun help = decode("", "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: halvern decode"), std::string::npos) << help.out;
    const int raw = std::system(
        (std::string("'") + HALVERN_BINARY + "' decode /nonexistent/capture 2>/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const ProcessRun unsaved =
        decode(meterFrameBytes("00012340010"), "--save /nonexistent/dir/out.txt");
    EXPECT_EQ(unsaved.status, 1);
    EXPECT_NE(unsaved.err.find("Could not save table to specified file: /nonexistent/dir/out.txt"),
              std::string::npos);
}

}  // namespace

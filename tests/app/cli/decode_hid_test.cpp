// halvern decode --link hid: HID report lines replayed through the cable link's report handler.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/frames.h"
#include "tests/support/temp_folder.h"
#include "transport/hid/hid_report_lines.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class DecodeHidTest : public ::testing::Test {
protected:
    TempFolder folder;

    Outcome decode(const std::string& input, const std::string& arguments) {
        TempFolder::write(folder.path("input"), input);
        const std::string out = folder.path("stdout");
        const std::string err = folder.path("stderr");
        const std::string command = std::string("'") + HALVERN_BINARY + "' decode " + arguments +
                                    " '" + folder.path("input") + "' >'" + out + "' 2>'" + err +
                                    "'";
        const int raw = std::system(command.c_str());
        Outcome run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = TempFolder::read(out);
        run.err = TempFolder::read(err);
        return run;
    }

    // The cable's reports for the given meter bytes: up to `per` bytes a report (each report
    // padded to 8 payload bytes, as a real cable's fixed reports are), an empty report after
    // every `frame` bytes.
    static std::string reports(const std::string& meterBytes, std::size_t frame,
                               std::size_t per = 4) {
        std::string text = "# HID reports of the meter cable\n";
        std::string line;
        for (std::size_t start = 0; start < meterBytes.size(); start += frame) {
            const std::string bytes = meterBytes.substr(start, frame);
            for (std::size_t i = 0; i < bytes.size(); i += per) {
                const std::string part = bytes.substr(i, per);
                std::vector<std::uint8_t> payload(std::max<std::size_t>(8, part.size() + 1), 0);
                payload[0] = static_cast<std::uint8_t>(part.size());
                std::copy(part.begin(), part.end(), payload.begin() + 1);
                formatHidReportLine(0, payload.data(), payload.size(), line);
                text += line + "\n";
            }
            text += "00 00 00 00 00 00 00 00 00\n\n";
        }
        return text;
    }
};

TEST_F(DecodeHidTest, TracesTheSameFramesAsTheSerialCaptureOfTheSameBytes) {
    const std::vector<std::string> frames = {"00012340010", "B0012340010", "00100000500",
                                             "20112340010"};
    std::string serial;
    std::string cable;  // data, CR, LF for each frame
    for (const auto& f : frames) {
        serial += meterFrameBytes(f);
        cable += meterFrameBytes(f).substr(1) + "\x0A";
    }
    const Outcome bySerial = decode(serial, "--trace --decimal-separator .");
    const Outcome byCable = decode(reports(cable, 13), "--link hid --trace --decimal-separator .");
    ASSERT_EQ(byCable.status, 0) << byCable.err;
    EXPECT_EQ(byCable.out, bySerial.out);
    EXPECT_NE(byCable.out.find("A00012340010D\tDCV\t1.234\tV\t4 V\tAuto\t1234\t4\t12\trow1\t\n"),
              std::string::npos)
        << byCable.out;
}

TEST_F(DecodeHidTest, FramesOfTwelveBytesAreDroppedAndFourteenGiveTheFirstThirteen) {
    const std::string twelve = meterFrameBytes("00012340010").substr(1);
    const std::string fourteen = meterFrameBytes("00156780010").substr(1) + "\x0A\x0A";
    std::string input = reports(twelve, 12) + reports(fourteen, 14, 9);
    const Outcome run = decode(input, "--link hid --trace --decimal-separator .");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "A00156780010D\tDCV\t56.78\tV\t40 V\tAuto\t5678\t4\t40\trow1\t\n");

    // Without --trace: the recorded table.
    const Outcome table = decode(input, "--link hid --decimal-separator .");
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("56.78"), std::string::npos) << table.out;
}

TEST_F(DecodeHidTest, AMalformedLineIsNamedAndNothingIsWritten) {
    const std::string input = "00 01 31\n# fine\n00 01 3g\n";
    Outcome run = decode(input, "--link hid");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("line 3: expected two upper-case hexadecimal digits at column 8"),
              std::string::npos)
        << run.err;

    run = decode("", "--link usb");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--link must be serial, usb-bridge or hid, not 'usb'"),
              std::string::npos)
        << run.err;

    // A serial capture is not a report file: its line feed makes line 1 blank.
    run = decode(meterFrameBytes("00012340010"), "--link hid");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("line 2: expected a blank at column 3"), std::string::npos) << run.err;
}

}  // namespace

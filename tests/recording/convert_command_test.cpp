#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "recording/data_files.h"
#include "tests/support/sanitizers.h"
#include "tests/support/temp_folder.h"

namespace {

struct ProcessRun {
    int status = -1;
    std::string out;
    std::string err;
};

class ConvertCommandTest : public ::testing::Test {
protected:
    TempFolder folder;

    // prefix is shell text run before the command (for example a ulimit).
    ProcessRun convert(const std::string& arguments, const std::string& prefix = {}) {
        return halvern("convert " + arguments, prefix);
    }
    ProcessRun halvern(const std::string& arguments, const std::string& prefix = {}) {
        const std::string out = folder.path("stdout");
        const std::string err = folder.path("stderr");
        const std::string command =
            prefix + "'" + HALVERN_BINARY + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
        const int raw = std::system(command.c_str());
        ProcessRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = TempFolder::read(out);
        run.err = TempFolder::read(err);
        return run;
    }
    std::string quoted(const std::string& name) { return "'" + folder.path(name) + "'"; }
};

TEST_F(ConvertCommandTest, ConvertsTextToPacketAndBack) {
    const std::string text =
        "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n"
        "1\t12:04:31\tDCV\t1.234\tV\t4 V\tAuto\r\n"
        "2\t12:04:32\tOHM\t0.L\tK *\t4k *\t\r\n";
    TempFolder::write(folder.path("in.txt"), text);

    const ProcessRun toPacket = convert(quoted("in.txt") + " " + quoted("out.xml"));
    EXPECT_EQ(toPacket.status, 0) << toPacket.err;
    EXPECT_EQ(toPacket.out, "");
    EXPECT_EQ(toPacket.err, "");
    TableStore packet;
    ASSERT_TRUE(LoadDataFile(folder.path("out.xml"), packet, false).ok);
    EXPECT_EQ(packet.rowCount(), 2u);
    EXPECT_EQ(packet.text(1, Field::Unit), "K *");

    const ProcessRun back = convert(quoted("out.xml") + " " + quoted("back.xls"));
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(back.out, "");
    EXPECT_EQ(TempFolder::read(folder.path("back.xls")), text);
}

// The name chooses the format; text through CSV and back loses nothing the text file holds.
TEST_F(ConvertCommandTest, ConvertsToAndFromTheAnalysisFormats) {
    const std::string text =
        "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n"
        "1\t12:04:31\tDCV\t1.234\tV\t4 V\tAuto\r\n"
        "2\t12:04:32\tOHM\t0.@\tK *\t4k *\t\r\n";
    TempFolder::write(folder.path("in.txt"), text);
    for (const char* out : {"out.csv", "out.jsonl"}) {
        const ProcessRun run = convert(quoted("in.txt") + " " + quoted(out));
        EXPECT_EQ(run.status, 0) << run.err;
    }
    EXPECT_EQ(TempFolder::read(folder.path("out.csv")),
              "time,elapsed_s,no,quantity,value,unit,flags,display,display_unit,range,mode\r\n"
              "12:04:31,,1,voltage_dc,1.234,V,,1.234,V,4 V,Auto\r\n"
              "12:04:32,,2,resistance,,\u03A9,OL,0.L,K \u03A9,4k \u03A9,\r\n");
    EXPECT_EQ(TempFolder::read(folder.path("out.jsonl")).find("{\"time\":\"12:04:31\""), 0u);
    const ProcessRun back = convert(quoted("out.csv") + " " + quoted("back.xls"));
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(TempFolder::read(folder.path("back.xls")), text);
}

// halvern stats reads every format it can load and says why for the ones it cannot.
TEST_F(ConvertCommandTest, StatsPrintsTheTableOfAnyDataFile) {
    TempFolder::write(folder.path("in.txt"),
                      "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n"
                      "1\t12:04:31\tDCV\t1.000\tV\t4 V\tAuto\r\n"
                      "2\t12:04:32\tDCV\t3.000\tV\t4 V\tAuto\r\n"
                      "3\t12:04:33\tOHM\t0.@\tK *\t4k *\t\r\n");
    ASSERT_EQ(convert(quoted("in.txt") + " " + quoted("in.xml")).status, 0);
    ASSERT_EQ(convert(quoted("in.txt") + " " + quoted("in.csv")).status, 0);
    for (const char* name : {"in.txt", "in.xml", "in.csv"}) {
        SCOPED_TRACE(name);
        const ProcessRun run = halvern("stats " + quoted(name));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out,
                  "quantity\tunit\tcount\tmin\tmax\tmean\tstddev\tfirst\tlast\tduration_s\t"
                  "overloads\n"
                  "voltage_dc\tV\t2\t1\t3\t2\t1.414213562\t\t\t\t0\n"
                  "resistance\t\u03A9\t0\t\t\t\t\t\t\t\t1\n");
    }
    const ProcessRun missing = halvern("stats " + quoted("missing.csv"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "halvern stats: " + folder.path("missing.csv") +
                               ": Failed to Load File! (No such file or directory)\n");
    ASSERT_EQ(convert(quoted("in.txt") + " " + quoted("in.jsonl")).status, 0);
    const ProcessRun jsonl = halvern("stats " + quoted("in.jsonl"));
    EXPECT_EQ(jsonl.status, 1);
    EXPECT_EQ(jsonl.err, "halvern stats: " + folder.path("in.jsonl") +
                             ": Failed to Load File! (JSON Lines files are written for other "
                             "tools and not read)\n");
    EXPECT_EQ(halvern("stats").status, 2);
    EXPECT_EQ(halvern("stats --help").status, 0);
}

TEST_F(ConvertCommandTest, FailuresWriteNothingAndSayWhy) {
    TempFolder::write(folder.path("bad.txt"), "header\r\nx\tnot a number\r\n");
    const ProcessRun badLoad = convert(quoted("bad.txt") + " " + quoted("out.txt"));
    EXPECT_EQ(badLoad.status, 1);
    EXPECT_EQ(badLoad.err, "halvern convert: " + folder.path("bad.txt") +
                               ": Failed to Load File! (not a data file)\n");
    EXPECT_EQ(badLoad.out, "");
    EXPECT_FALSE(std::filesystem::exists(folder.path("out.txt")));

    const ProcessRun missing = convert(quoted("missing.xml") + " " + quoted("out.txt"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "halvern convert: " + folder.path("missing.xml") +
                               ": Failed to Load File! (No such file or directory)\n");

    TempFolder::write(folder.path("good.txt"), "header\r\n1\ta\r\n");
    const std::string target = folder.path("no/such/folder.txt");
    const ProcessRun badSave = convert(quoted("good.txt") + " '" + target + "'");
    EXPECT_EQ(badSave.status, 1);
    EXPECT_EQ(badSave.err, "Could not save table to specified file: " + target +
                               ": No such file or directory\n");
}

TEST_F(ConvertCommandTest, PermissionRefusalsGiveTheSystemsReason) {
    // Root reads and writes everything: the program runs as nobody to meet the refusal.
    const std::string asUser =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    ::chmod(folder.root().c_str(), 0755);
    TempFolder::write(folder.path("closed.txt"), "No\r\n1\ta\r\n");
    ::chmod(folder.path("closed.txt").c_str(), 0);
    const ProcessRun unreadable = convert(quoted("closed.txt") + " " + quoted("out.txt"), asUser);
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.err, "halvern convert: " + folder.path("closed.txt") +
                                  ": Failed to Load File! (Permission denied)\n");

    TempFolder::write(folder.path("open.txt"), "No\r\n1\ta\r\n");
    ::chmod(folder.path("open.txt").c_str(), 0644);
    std::filesystem::create_directory(folder.path("locked"));
    ::chmod(folder.path("locked").c_str(), 0555);
    const ProcessRun unwritable =
        convert(quoted("open.txt") + " " + quoted("locked/out.txt"), asUser);
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err, "Could not save table to specified file: " +
                                  folder.path("locked/out.txt") + ": Permission denied\n");
    ::chmod(folder.path("locked").c_str(), 0755);
}

TEST_F(ConvertCommandTest, DevicesFifosAndMemoryExhaustionFailWithoutWriting) {
    ASSERT_EQ(::mkfifo(folder.path("pipe.txt").c_str(), 0600), 0);
    // Ten million rows: 30 MB of file, more table than a 200 MB address space holds.
    {
        std::FILE* out = std::fopen(folder.path("huge.txt").c_str(), "wb");
        ASSERT_NE(out, nullptr);
        const std::string block = [] {
            std::string b;
            for (int i = 0; i < 100'000; ++i) {
                b += "1\r\n";
            }
            return b;
        }();
        std::fputs("No\r\n", out);
        for (int i = 0; i < 100; ++i) {
            std::fwrite(block.data(), 1, block.size(), out);
        }
        std::fclose(out);
    }
    for (const std::string& input :
         {std::string("/dev/zero"), folder.path("pipe.txt"), folder.path("huge.txt")}) {
        const std::string arguments = "'" + input + "' " + quoted("out.txt");
        SCOPED_TRACE(arguments);
        // The address space cannot be limited under AddressSanitizer.
        if (kAddressSanitizer && arguments.find("huge") != std::string::npos) {
            continue;
        }
        const ProcessRun run = convert(arguments, kAddressSanitizer ? "" : "ulimit -v 200000; ");
        EXPECT_EQ(run.status, 1);
        const char* reason =
            input.find("huge") != std::string::npos ? "not enough memory" : "not a regular file";
        EXPECT_EQ(run.err,
                  "halvern convert: " + input + ": Failed to Load File! (" + reason + ")\n");
        EXPECT_FALSE(std::filesystem::exists(folder.path("out.txt")));
    }
}

TEST_F(ConvertCommandTest, BadArgumentsPrintTheUsage) {
    for (const std::string arguments : {"", "only-one", "a b c", "--help", "--bogus x"}) {
        SCOPED_TRACE(arguments);
        const ProcessRun run = convert(arguments);
        EXPECT_EQ(run.status, arguments == "--help" ? 0 : 2);
        EXPECT_NE((run.out + run.err).find("usage: halvern convert IN OUT"), std::string::npos);
    }
}

}  // namespace

#include "recording/data_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "meter/clock.h"
#include "recording/byte_stream.h"
#include "recording/recorder.h"
#include "tests/support/temp_folder.h"

namespace {

using Texts = std::array<std::string_view, kTextFieldCount>;

RowData makeRow(std::optional<std::int32_t> no, Texts texts, std::optional<std::int32_t> nval) {
    RowData r;
    r.no = no;
    r.texts = texts;
    r.nval = nval;
    return r;
}

// A row as text, so that whole tables compare with one readable EXPECT.
std::string describe(const TableStore& t, std::size_t r) {
    std::string s = t.no(r) ? std::to_string(*t.no(r)) : "-";
    for (std::size_t k = 1; k <= kTextFieldCount; ++k) {
        s += "|" + std::string(t.text(r, static_cast<Field>(k)));
    }
    return s + "|" + (t.nval(r) ? std::to_string(*t.nval(r)) : "-");
}

std::vector<std::string> rowsOf(const TableStore& t) {
    std::vector<std::string> rows;
    for (std::size_t r = 0; r < t.rowCount(); ++r) {
        rows.push_back(describe(t, r));
    }
    return rows;
}

class DataFilesTest : public ::testing::Test {
protected:
    TempFolder folder;
    TableStore table;
};

TEST(SplitText, SplitsAtEverySeparator) {
    struct Case {
        std::string_view text;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"a\tb", {"a", "b"}},
        {"a\t", {"a", ""}},
        {"", {""}},
        {"\t\t", {"", "", ""}},
        {"1\t12:00:00\tDCV", {"1", "12:00:00", "DCV"}},
    };
    std::vector<std::string> list{"old"};
    for (const Case& c : cases) {
        SplitText(c.text, "\t", list);
        EXPECT_EQ(list, c.items) << c.text;
    }
}

TEST(DataFileNames, OnlyLowerCaseXmlIsAPacket) {
    EXPECT_TRUE(isPacketName("data.xml"));
    EXPECT_TRUE(isPacketName("/tmp/a.b/data.xml"));
    EXPECT_FALSE(isPacketName("data.XML"));
    EXPECT_FALSE(isPacketName("data.xls"));
    EXPECT_FALSE(isPacketName("data.xml.txt"));
    EXPECT_FALSE(isPacketName("dir.xml/data"));
    EXPECT_FALSE(isPacketName("xml"));
}

TEST_F(DataFilesTest, TextFileHasTheExactLayout) {
    const std::string name = folder.path("empty.txt");
    const FileOutcome empty = saveTable(table, name);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.message, "save table to specified file: " + name + " Scuss!");
    EXPECT_EQ(TempFolder::read(name), "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n");

    table.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    // Trailing and leading blanks and control bytes go; TAB, CR and LF inside become blanks;
    // 8-bit bytes stay as they are.
    table.append(makeRow(2, {"12:04:32", " DCV\x01", "1.2 \t34  ", "a\rb\nc", "\xB0\xFF", ""},
                         std::nullopt));
    table.append(makeRow(std::nullopt, {"", "", "", "", "", ""}, 7));
    EXPECT_TRUE(SaveTableText(table, name).ok);
    EXPECT_EQ(TempFolder::read(name),
              "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n"
              "1\t12:04:31\tDCV\t1.234\tV\t4 V\tAuto\r\n"
              "2\t12:04:32\tDCV\t1.2  34\ta b c\t\xB0\xFF\t\r\n"
              "\t\t\t\t\t\t\r\n");
}

TEST_F(DataFilesTest, TextRoundTripKeepsSevenColumnsAndAppendsAfterRecordedRows) {
    for (int i = 1; i <= 3; ++i) {
        table.append(makeRow(100 + i, {"12:00:00", "ACV", "0.500", "V", "4 V", "Manu"}, i));
    }
    const std::string name = folder.path("data.xls");
    ASSERT_TRUE(saveTable(table, name).ok);

    // After three recorded rows the file's rows come after them with the file's No values.
    TableStore target;
    FixedClock clock;
    Recorder recorder(target, clock);
    CurrentReading r;
    r.valueText = "9.999";
    for (int i = 0; i < 3; ++i) {
        recorder.recordReading(r);
    }
    const FileOutcome outcome = LoadDataFile(name, target, false);
    EXPECT_TRUE(outcome.ok);
    EXPECT_TRUE(outcome.message.empty());
    ASSERT_EQ(target.rowCount(), 6u);
    EXPECT_EQ(target.no(2), 3);
    EXPECT_EQ(describe(target, 3), "101|12:00:00|ACV|0.500|V|4 V|Manu|-");
    EXPECT_EQ(describe(target, 5), "103|12:00:00|ACV|0.500|V|4 V|Manu|-");
    // Loading does not move the program's own numbering.
    EXPECT_EQ(recorder.nextRowNumber(), 4);
    // The same file again doubles its rows; clear first replaces them.
    EXPECT_TRUE(LoadDataFile(name, target, false).ok);
    EXPECT_EQ(target.rowCount(), 9u);
    EXPECT_TRUE(LoadDataFile(name, target, true).ok);
    EXPECT_EQ(target.rowCount(), 3u);
}

TEST_F(DataFilesTest, TextLoaderCases) {
    struct Case {
        const char* what;
        std::string content;
        bool ok;
        std::vector<std::string> rows;
    };
    const std::string header = "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n";
    const std::vector<Case> cases = {
        {"empty file", "", true, {}},
        {"header only", header, true, {}},
        {"header is dropped whatever it holds", "1\ta\r\n2\tb\r\n", true, {"2|b||||||-"}},
        {"LF and CR line ends",
         "h\n1\ta\n2\tb\r3\tc",
         true,
         {"1|a||||||-", "2|b||||||-", "3|c||||||-"}},
        {"third line empty", header + "1\ta\r\n\r\n2\tb\r\n", false, {"1|a||||||-"}},
        {"more than eight items",
         header + "1\ta\r\n1\t2\t3\t4\t5\t6\t7\t8\t9\r\n",
         false,
         {"1|a||||||-"}},
        {"No not a number", header + "x1\ta\r\n", false, {}},
        {"No empty", header + "\ta\r\n", false, {}},
        {"Nval not a number", header + "1\t\t\t\t\t\t\tz\r\n", false, {}},
        {"eight items fill Nval",
         header + "-3\tt\tf\tv\tu\tr\ta\t-5\r\n",
         true,
         {"-3|t|f|v|u|r|a|-5"}},
        {"whole-number forms", header + " 7\r\n$10\r\n", true, {"7|||||||-", "16|||||||-"}},
        {"texts cut to 20 bytes",
         header + "1\t123456789012345678901234\r\n",
         true,
         {"1|12345678901234567890||||||-"}},
        {"8-bit bytes kept", header + "1\t\xB5\xFF\x80\r\n", true, {"1|\xB5\xFF\x80||||||-"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = folder.path("case.txt");
        TempFolder::write(name, c.content);
        TableStore t;
        const FileOutcome outcome = LoadDataFile(name, t, false);
        EXPECT_EQ(outcome.ok, c.ok);
        EXPECT_EQ(outcome.message, c.ok ? "" : "Failed to Load File!");
        EXPECT_EQ(rowsOf(t), c.rows);
    }
    TableStore t;
    EXPECT_EQ(LoadDataFile(folder.path("missing.txt"), t, false).message, "Failed to Load File!");
    EXPECT_FALSE(LoadDataFile(folder.root(), t, false).ok);
}

TEST_F(DataFilesTest, TextLinesCutByTheReadBufferStayWhole) {
    // Line ends placed so that one CR LF pair straddles the loader's 1 MiB read chunk.
    const std::size_t chunk = 1 << 20;
    std::string content = std::string(15, 'H') + "\r\n";
    int rows = 0;
    while (content.size() < chunk + 100) {
        content += "1\t" + std::string(16, char('a' + rows % 26)) + "\r\n";
        ++rows;
    }
    ASSERT_EQ(content[chunk - 1], '\r');
    ASSERT_EQ(content[chunk], '\n');
    const std::string name = folder.path("big.txt");
    TempFolder::write(name, content);
    EXPECT_TRUE(LoadDataFile(name, table, false).ok);
    ASSERT_EQ(table.rowCount(), std::size_t(rows));
    for (int r = 0; r < rows; ++r) {
        ASSERT_EQ(table.text(r, Field::Time), std::string(16, char('a' + r % 26))) << r;
    }
}

TEST_F(DataFilesTest, PacketRoundTripRestoresAllEightFieldsAndReplacesTheRows) {
    const std::string special = "<>&'\"\r\n\t\\\x01\xB0\xFF";
    table.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    table.append(makeRow(-2147483647 - 1, {special, "", "", "x", "", ""}, 2147483647));
    table.append(makeRow(std::nullopt, {"", "", "", "", "", ""}, std::nullopt));
    const std::string name = folder.path("data.xml");
    const FileOutcome saved = saveTable(table, name);
    EXPECT_TRUE(saved.ok);
    const std::string bytes = TempFolder::read(name);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" standalone=\"yes\"?>", 0), 0u);
    EXPECT_NE(bytes.find("&lt;&gt;&amp;&apos;&quot;&#013;&#010;&#009;&#092;"), std::string::npos);
    EXPECT_NE(bytes.find(R"(<FIELD attrname="DC/AC" fieldtype="string" WIDTH="20"/>)"),
              std::string::npos);

    TableStore loaded;
    loaded.append(makeRow(99, {"old", "", "", "", "", ""}, 0));
    EXPECT_TRUE(LoadDataFile(name, loaded, false).ok);
    EXPECT_EQ(rowsOf(loaded), rowsOf(table));
    EXPECT_EQ(loaded.text(1, Field::Time), special);
}

TEST_F(DataFilesTest, ReadsAPacketInTheWindowsProgramsLayout) {
    const std::string packet =
        "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"
        "<METADATA><FIELDS><FIELD attrname=\"No\" fieldtype=\"i4\"/>"
        "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"DC/AC\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"Range\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"Auto\" fieldtype=\"string\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"Nval\" fieldtype=\"i4\"/></FIELDS>"
        "<PARAMS CHANGE_LOG=\"1 0 4 2 0 4\"/></METADATA><ROWDATA>"
        "<ROW RowState=\"4\" No=\"1\" Time=\"12:04:31\" DC/AC=\"DCV\" Value=\"1.234\" "
        "Unit=\"V\" Range=\"4 V\" Auto=\"Auto\" Nval=\"1234\"/>"
        "<ROW RowState=\"4\" No=\"2\" Time=\"12:04:32\" DC/AC=\"OHM\" Value=\"0.L\" "
        "Unit=\"K *\" Range=\"4k *\" Nval=\"4001\"/>"
        "</ROWDATA></DATAPACKET>";
    // The same rows with odd white space, reordered attributes, single quotes, references and
    // unknown attributes, with CR LF or LF line ends.
    const std::string odd =
        "\xEF\xBB\xBF<?xml version='1.0' standalone='yes'?>\n<!-- saved by hand -->\n"
        "<DATAPACKET   Version = '2.0' >\n <METADATA>\n  <FIELDS>\n"
        "   <FIELD fieldtype='I4' attrname='no'/>\n"
        "   <FIELD WIDTH='20' attrname=\"Time\" fieldtype=\"string\" ></FIELD>\n"
        "   <FIELD attrname='DC/AC'\tfieldtype='string' WIDTH='20' required='true'/>\n"
        "   <FIELD attrname='Value' fieldtype='string' WIDTH='20'/>\n"
        "   <FIELD attrname='Auto' fieldtype='string' WIDTH='20'/>\n"
        "   <FIELD attrname='Unit' fieldtype='string' WIDTH='20'/>\n"
        "   <FIELD attrname='Range' fieldtype='string' WIDTH='20'/>\n"
        "   <FIELD attrname='Nval' fieldname='Nval' fieldtype='i4'/>\n"
        "  </FIELDS>\n  <PARAMS CHANGE_LOG='1 0 4 2 0 4' LCID='1033'></PARAMS>\n </METADATA>\n"
        " <ROWDATA>\n"
        "  <ROW Nval='1234' Auto='Auto' Range='4 V' Unit='V' Value='&#x31;.234' DC/AC='DCV'\n"
        "       Time='12:04:31' No='1' RowState='4' />\n"
        "  <ROW No = \"2\" Time=\"12:04:32\" DC/AC=\"OHM\" Value=\"0.L\" Unit=\"K&#32;*\"\n"
        "       Range='4k *' Nval='4001' RowState='4'></ROW>\n"
        " </ROWDATA>\n</DATAPACKET>\n\n";
    std::string oddCrLf;
    for (const char c : odd) {
        if (c == '\n') {
            oddCrLf += '\r';
        }
        oddCrLf += c;
    }
    const std::vector<std::string> expected = {"1|12:04:31|DCV|1.234|V|4 V|Auto|1234",
                                               "2|12:04:32|OHM|0.L|K *|4k *||4001"};
    for (const std::string& content : {packet, odd, oddCrLf}) {
        const std::string name = folder.path("windows.xml");
        TempFolder::write(name, content);
        TableStore t;
        EXPECT_TRUE(LoadDataFile(name, t, false).ok) << content;
        EXPECT_EQ(rowsOf(t), expected);
    }
}

TEST_F(DataFilesTest, ABadPacketLeavesTheTableUntouched) {
    TableStore good;
    good.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    const std::string valid = tablePacketBytes(good);
    auto replaced = [&](std::string_view from, std::string_view to) {
        std::string s = valid;
        const auto at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    struct Case {
        const char* what;
        std::string content;
    };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"cut off", valid.substr(0, valid.size() / 2)},
        {"no end tag", replaced("</DATAPACKET>", "")},
        {"mismatched end tag", replaced("</ROWDATA>", "</ROWDATUM>")},
        {"text content", replaced("<ROWDATA>", "<ROWDATA>hello")},
        {"trailing garbage", valid + "<x/>"},
        {"unknown entity", replaced("12:04:31", "&nbsp;")},
        {"bad reference", replaced("12:04:31", "&#xZZ;")},
        {"raw < in value", replaced("12:04:31", "1<2")},
        {"unquoted value", replaced("Nval=\"1234\"", "Nval=1234")},
        {"No not a number", replaced("No=\"1\"", "No=\"one\"")},
        {"No empty", replaced("No=\"1\"", "No=\"\"")},
        {"duplicate attribute", replaced("No=\"1\"", "No=\"1\" No=\"2\"")},
        {"wrong field type",
         replaced("attrname=\"Nval\" fieldtype=\"i4\"", "attrname=\"Nval\" fieldtype=\"string\"")},
        {"unknown field", replaced("attrname=\"Unit\"", "attrname=\"Units\"")},
        {"missing field",
         replaced(R"(<FIELD attrname="Auto" fieldtype="string" WIDTH="20"/>)", "")},
        {"duplicate field", replaced(R"(<FIELD attrname="Auto" fieldtype="string" WIDTH="20"/>)",
                                     R"(<FIELD attrname="Unit" fieldtype="string" WIDTH="20"/>)")},
        {"no fields", replaced("<METADATA>", "<METADATA></METADATA><X>")},
        {"rows before metadata", "<DATAPACKET><ROWDATA/></DATAPACKET>"},
        {"not a packet", "<?xml version=\"1.0\"?><TABLE/>"},
        {"doctype", "<!DOCTYPE x>" + valid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = folder.path("bad.xml");
        TempFolder::write(name, c.content);
        TableStore t;
        t.append(makeRow(42, {"kept", "", "", "", "", ""}, 1));
        const FileOutcome outcome = LoadDataFile(name, t, true);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message, "Failed to Load File!");
        EXPECT_EQ(rowsOf(t), std::vector<std::string>{"42|kept||||||1"});
    }
}

TEST_F(DataFilesTest, LoadAndSaveFailuresSayWhy) {
    TableStore good;
    good.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    const std::string packet = tablePacketBytes(good);
    const std::string header = "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n";
    // The start of an executable: NUL bytes, a line feed, a carriage return.
    static const char kProgram[] =
        "\x7f"
        "ELF\x02\x01\x01\0\0\0\n\x03\0>\0\x01\0\r\0\0@";
    const std::string binary(kProgram, sizeof kProgram - 1);
    struct Case {
        const char* what;
        std::string name;  // in the test's folder, or an absolute name
        std::string content;
        std::string reason;
    };
    const Case loads[] = {
        {"missing", "missing.txt", {}, "No such file or directory"},
        {"a folder", "/", {}, "not a regular file"},
        {"a device", "/dev/zero", {}, "not a regular file"},
        {"a bad third line", "bad.txt", header + "1\ta\r\nnot a row\r\n2\tb\r\n",
         "line 3: not a data line"},
        {"a binary file", "program.txt", binary, "not a data file"},
        {"a truncated packet", "cut.xml", packet.substr(0, packet.size() / 2),
         "the XML packet ends early"},
        {"another XML file", "other.xml", "<?xml version=\"1.0\"?><TABLE/>",
         "not an XML data packet"},
        {"a binary packet", "program.xml", binary, "not an XML data packet"},
    };
    for (const Case& c : loads) {
        SCOPED_TRACE(c.what);
        const std::string name = c.name.front() == '/' ? c.name : folder.path(c.name);
        if (!c.content.empty()) {
            TempFolder::write(name, c.content);
        }
        TableStore t;
        const FileOutcome outcome = LoadDataFile(name, t, false);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message, "Failed to Load File!");
        EXPECT_EQ(outcome.reason, c.reason);
    }
    // A bad value names where it stands.
    std::string badValue = packet;
    badValue.replace(badValue.find("No=\"1\""), 6, "No=\"x\"");
    TempFolder::write(folder.path("value.xml"), badValue);
    TableStore t;
    const FileOutcome value = LoadDataFile(folder.path("value.xml"), t, false);
    EXPECT_EQ(value.reason.rfind("the XML packet is not valid at byte ", 0), 0u) << value.reason;

    std::filesystem::create_directory(folder.path("dir.txt"));
    const Case saves[] = {
        {"folder missing", "missing/data.txt", {}, "No such file or directory"},
        {"folder missing, packet", "missing/data.xml", {}, "No such file or directory"},
        {"a directory in the target's place", "dir.txt", {}, "Is a directory"},
    };
    for (const Case& c : saves) {
        SCOPED_TRACE(c.what);
        const FileOutcome outcome = saveTable(good, folder.path(c.name));
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.reason, c.reason);
    }
    EXPECT_EQ(saveTable(good, folder.path("fine.txt")).reason, "");
}

TEST_F(DataFilesTest, UpperCaseXmlIsWrittenAsText) {
    table.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    const std::string name = folder.path("data.XML");
    EXPECT_TRUE(saveTable(table, name).ok);
    EXPECT_EQ(TempFolder::read(name).rfind("No\tTime\t", 0), 0u);
    TableStore t;
    EXPECT_TRUE(LoadDataFile(name, t, false).ok);
    EXPECT_EQ(rowsOf(t), std::vector<std::string>{"1|12:04:31|DCV|1.234|V|4 V|Auto|-"});
}

TEST_F(DataFilesTest, AFailedSaveKeepsTheOldFile) {
    table.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    struct Case {
        const char* what;
        std::string name;
    };
    std::filesystem::create_directory(folder.path("dir.txt"));
    const Case cases[] = {
        {"folder missing, text", folder.path("missing/data.txt")},
        {"folder missing, packet", folder.path("missing/data.xml")},
        {"a directory in the target's place", folder.path("dir.txt")},
        {"empty name", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FileOutcome outcome = saveTable(table, c.name);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message, "Could not save table to specified file: " + c.name);
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder.path("dir.txt")));

    // A write that fails half-way (the file size limit) leaves the old file as it was.
    const std::string name = folder.path("keep.txt");
    TempFolder::write(name, "old content\r\n");
    for (int i = 0; i < 5000; ++i) {
        table.append(makeRow(i, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, i));
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool ok = saveTable(table, name).ok || saveTable(table, name + ".xml").ok;
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(TempFolder::read(name), "old content\r\n");

    // Success replaces it; no temporary file stays behind in either case.
    EXPECT_TRUE(saveTable(table, name).ok);
    EXPECT_EQ(TempFolder::read(name).rfind("No\tTime", 0), 0u);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.root())) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"dir.txt", "keep.txt"}));
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(DataFilesTest, ASaveKeepsTheOldFilesPermissionBits) {
    table.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    for (const mode_t mode : {0600, 0640, 0604, 0664}) {
        for (const char* name : {"kept.txt", "kept.xml"}) {
            const std::string file = folder.path(name);
            TempFolder::write(file, "old\r\n");
            ASSERT_EQ(::chmod(file.c_str(), mode), 0);
            ASSERT_TRUE(saveTable(table, file).ok) << name;
            struct stat st {};
            ASSERT_EQ(::stat(file.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, mode) << name << " " << std::oct << mode;
        }
    }
}

TEST_F(DataFilesTest, AWriterThatThrowsLeavesNoTemporaryFile) {
    const std::string name = folder.path("keep.txt");
    TempFolder::write(name, "old\r\n");
    const bool ok = writeFileReplacing(name, [](ByteSink& out) {
        out.put("half");
        throw std::bad_alloc();
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(TempFolder::read(name), "old\r\n");
    EXPECT_EQ(filesIn(folder.root()), std::vector<std::string>{"keep.txt"});
}

// A folder that refuses new files, holding a file we may write: the save goes over the file in
// place. As root the folder's mode does not stop us, so the save then runs as "nobody".
TEST_F(DataFilesTest, AFolderThatRefusesNewFilesIsWrittenInPlace) {
    for (int i = 1; i <= 3; ++i) {
        table.append(makeRow(i, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, i));
    }
    const std::string shared = folder.path("shared");
    std::filesystem::create_directory(shared);
    const std::string name = shared + "/data.txt";
    TempFolder::write(name, std::string(100000, 'x'));  // longer than the new content
    ASSERT_EQ(::chmod(name.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        const std::string probe = shared + "/probe";
        if (::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600) >= 0) {
            ::_exit(4);  // the folder takes new files after all: nothing to test here
        }
        ::_exit(saveTable(table, name).ok && saveTable(table, shared + "/other.txt").ok == false
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(shared.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 4 || WEXITSTATUS(status) == 3) {
        GTEST_SKIP() << "cannot make a folder that refuses new files here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the in-place save failed, or a new file was made";
    TableStore back;
    ASSERT_TRUE(LoadDataFile(name, back, false).ok);
    EXPECT_EQ(back.rowCount(), 3u);
    EXPECT_EQ(TempFolder::read(name), tableTextBytes(table));  // the old tail is cut
    EXPECT_EQ(filesIn(shared), std::vector<std::string>{"data.txt"});
}

TEST_F(DataFilesTest, SavesThroughLinksAndUnderLongNames) {
    table.append(makeRow(1, {"12:04:31", "DCV", "1.234", "V", "4 V", "Auto"}, 1234));
    const std::string real = folder.path("real.txt");
    const std::string link = folder.path("link.txt");
    TempFolder::write(real, "old\r\n");
    std::filesystem::create_symlink(real, link);
    EXPECT_TRUE(saveTable(table, link).ok);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(TempFolder::read(real).rfind("No\tTime", 0), 0u);

    const std::string longName = folder.path(std::string(240, 'n') + ".xml");
    EXPECT_TRUE(saveTable(table, longName).ok);
    TableStore t;
    EXPECT_TRUE(LoadDataFile(longName, t, false).ok);
    EXPECT_EQ(rowsOf(t), rowsOf(table));
}

TEST_F(DataFilesTest, LargePacketsStreamThroughTheReadBuffer) {
    // About 4 MiB of packet: values cross the 1 MiB read chunks.
    for (int i = 0; i < 40000; ++i) {
        const std::string value = std::to_string(i * 7) + "&<\xB0";
        table.append(makeRow(i, {"23:59:59", "DCV", value, "mV", "400 mv", "Manu"}, -i));
    }
    const std::string name = folder.path("big.xml");
    ASSERT_TRUE(saveTable(table, name).ok);
    ASSERT_GT(std::filesystem::file_size(name), std::uintmax_t{3} << 20);
    TableStore t;
    ASSERT_TRUE(LoadDataFile(name, t, false).ok);
    EXPECT_EQ(rowsOf(t), rowsOf(table));
}

}  // namespace

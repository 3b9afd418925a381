#include "meter/locale_decimal_separator.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/frames.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(LocaleSeparator, OnlyOneLatin1CharacterIsTakenOtherwiseTheFallback) {
    const struct {
        const char* text;
        const char* codeset;
        const char* expected;
    } cases[] = {
        {",", "UTF-8", ","},
        {".", "ANSI_X3.4-1968", "."},
        {"\xd9\xab", "UTF-8", "."},      // ps_AF: U+066B, no Latin-1 form
        {"\xc2\xb7", "UTF-8", "\xb7"},   // middle dot, Latin-1 0xB7
        {"\xe2\x80\xa4", "UTF-8", "."},  // one dot leader, three bytes
        {"\xb7", "ISO-8859-1", "\xb7"},  // an 8-bit set's own byte
        {"\xb7", "UTF-8", "."},          // a stray byte is no UTF-8 character
        {"", "UTF-8", "."},
        {",,", "ISO-8859-1", "."},
        {"\t", "UTF-8", "."},
        {"5", "UTF-8", "."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(acceptLocaleSeparator(c.text, c.codeset, "."), c.expected) << c.text;
    }
    EXPECT_EQ(acceptLocaleSeparator("", "UTF-8", ":"), ":");
}

TEST(LocaleSeparator, TheTimeSeparatorComesFromTheTimeFormat) {
    const struct {
        const char* format;
        const char* separator;
    } cases[] = {
        {"%H:%M:%S", ":"},    {"%H.%M.%S", "."}, {"%OH:%OM:%OS", ":"}, {"%-H.%M", "."},
        {"%I:%M:%S %p", ":"}, {"%T", ""},        {"%r", ""},           {"", ""},
        {"%H", ""},           {"%H%M", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timeSeparatorOf(c.format), c.separator) << c.format;
    }
}

// The real locales, compiled from the system's sources into a folder of our own: what a user of
// ps_AF or fi_FI sees in the rows.
TEST(LocaleSeparator, ARealLocaleGivesItsSeparatorsOrTheFallback) {
    if (std::system("command -v localedef >/dev/null 2>&1") != 0 ||
        std::system("test -f /usr/share/i18n/locales/ps_AF -a -f /usr/share/i18n/locales/fi_FI") !=
            0) {
        GTEST_SKIP() << "no localedef or locale sources";
    }
    TempFolder folder;
    for (const char* name : {"ps_AF", "fi_FI"}) {
        const std::string command = std::string("localedef -i ") + name + " -f UTF-8 '" +
                                    folder.path(std::string(name) + ".UTF-8") + "' >/dev/null 2>&1";
        std::system(command.c_str());
    }
    TempFolder::write(folder.path("capture.bin"), meterFrameBytes("00012340010"));
    // glibc keeps the names of locales loaded from LOCPATH for the life of the process; under
    // the leak checker of the sanitizer build that is not ours to report.
    TempFolder::write(folder.path("lsan.supp"), "leak:__argz_add_sep\n");
    const struct {
        const char* locale;
        const char* value;
        char timeSeparator;
    } cases[] = {{"ps_AF.UTF-8", "1.234", ':'}, {"fi_FI.UTF-8", "1,234", '.'}};
    for (const auto& c : cases) {
        const std::string out = folder.path("out");
        const std::string command = "env LSAN_OPTIONS=suppressions='" + folder.path("lsan.supp") +
                                    "' LOCPATH='" + folder.root() + "' LC_ALL=" + c.locale + " '" +
                                    HALVERN_BINARY + "' decode '" + folder.path("capture.bin") +
                                    "' >'" + out + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << c.locale;
        const std::string rows = TempFolder::read(out);
        const std::size_t row = rows.find("\r\n1\t");
        ASSERT_NE(row, std::string::npos) << rows;
        const std::string time = rows.substr(row + 4, 8);
        EXPECT_EQ(time[2], c.timeSeparator) << c.locale << ": " << time;
        EXPECT_EQ(time[5], c.timeSeparator) << c.locale << ": " << time;
        EXPECT_NE(rows.find(std::string("\t") + c.value + "\t"), std::string::npos)
            << c.locale << ": " << rows;
    }
}

}  // namespace

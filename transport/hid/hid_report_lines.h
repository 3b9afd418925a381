#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The text form of HID input reports, for captures and replays: one report a line, the report ID
// and then the payload bytes, each as two upper-case hexadecimal digits, separated by single
// blanks ("00 03 31 32 33"). Blank lines and lines starting with "#" carry no report.

// The largest payload a report line may hold (the controller's report size is 16 bits).
inline constexpr std::size_t kMaxHidReportPayload = 65535;

// The line of one report, without a line end. Never fails.
void formatHidReportLine(std::uint8_t reportId, const std::uint8_t* payload, std::size_t size,
                         std::string& line);

// One line's report: bytes[0] the report ID, the rest the payload. Returns false with the
// reason in error ("expected two upper-case hexadecimal digits at column 4") when the line is
// not a report line; a trailing carriage return and trailing blanks are allowed. The line must
// not be blank or a "#" line.
bool parseHidReportLine(std::string_view line, std::vector<std::uint8_t>& bytes,
                        std::string& error);

// Reads report lines from a stream, one report per next(). The stream is not owned.
class HidReportLineReader {
public:
    enum class Result { Report, End, Error };

    explicit HidReportLineReader(std::FILE* in) : m_in(in) {}

    // The next report, skipping blank and "#" lines. End at the end of the input; Error for a
    // malformed line or a failed read, with error() saying why ("line 3: ...").
    Result next();

    std::uint8_t reportId() const { return m_bytes[0]; }
    const std::uint8_t* payload() const { return m_bytes.data() + 1; }
    std::size_t payloadSize() const { return m_bytes.size() - 1; }
    std::size_t lineNumber() const { return m_lineNumber; }
    const std::string& error() const { return m_error; }

private:
    // The next line into m_line (without its line feed); false at the end of the input.
    bool readLine();

    std::FILE* m_in;
    char m_buffer[64 * 1024];
    std::size_t m_pos = 0;
    std::size_t m_length = 0;
    bool m_lineTooLong = false;
    std::string m_line;
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_lineNumber = 0;
    std::string m_error;
};

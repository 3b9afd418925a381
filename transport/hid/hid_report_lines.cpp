#include "transport/hid/hid_report_lines.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The longest line a report can need, with room for trailing blanks and a carriage return.
constexpr std::size_t kMaxLineLength = 3 * (kMaxHidReportPayload + 1) + 64;

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

}  // namespace

void formatHidReportLine(std::uint8_t reportId, const std::uint8_t* payload, std::size_t size,
                         std::string& line) {
    line.resize(3 * size + 2);
    char* p = line.data();
    p[0] = kHexDigits[reportId >> 4];
    p[1] = kHexDigits[reportId & 0x0F];
    p += 2;
    for (std::size_t i = 0; i < size; ++i, p += 3) {
        p[0] = ' ';
        p[1] = kHexDigits[payload[i] >> 4];
        p[2] = kHexDigits[payload[i] & 0x0F];
    }
}

bool parseHidReportLine(std::string_view line, std::vector<std::uint8_t>& bytes,
                        std::string& error) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    bytes.clear();
    std::size_t i = 0;
    for (;;) {
        const int high = i < line.size() ? hexValue(line[i]) : -1;
        const int low = i + 1 < line.size() ? hexValue(line[i + 1]) : -1;
        if (high < 0 || low < 0) {
            error = "expected two upper-case hexadecimal digits at column " +
                    std::to_string(i + (high < 0 ? 1 : 2));
            return false;
        }
        if (bytes.size() > kMaxHidReportPayload) {
            error = "more than " + std::to_string(kMaxHidReportPayload) + " payload bytes";
            return false;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 2;
        if (i == line.size()) {
            return true;
        }
        if (line[i] != ' ') {
            error = "expected a blank at column " + std::to_string(i + 1);
            return false;
        }
        ++i;
    }
}

bool HidReportLineReader::readLine() {
    m_line.clear();
    m_lineTooLong = false;
    bool any = false;
    for (;;) {
        if (m_pos == m_length) {
            m_length = std::fread(m_buffer, 1, sizeof m_buffer, m_in);
            m_pos = 0;
            if (m_length == 0) {
                return any;
            }
        }
        any = true;
        const char* start = m_buffer + m_pos;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', m_length - m_pos));
        const std::size_t n =
            newline != nullptr ? static_cast<std::size_t>(newline - start) : m_length - m_pos;
        // Only the first kMaxLineLength characters are kept: a line without end must not grow
        // without bound.
        const std::size_t room = kMaxLineLength - m_line.size();
        if (n > room) {
            m_lineTooLong = true;
        }
        m_line.append(start, n < room ? n : room);
        m_pos += n;
        if (newline != nullptr) {
            ++m_pos;
            return true;
        }
    }
}

HidReportLineReader::Result HidReportLineReader::next() {
    while (readLine()) {
        ++m_lineNumber;
        if (isBlankLine(m_line) || m_line[0] == '#') {
            continue;
        }
        std::string why;
        if (m_lineTooLong) {
            why = "more than " + std::to_string(kMaxHidReportPayload) + " payload bytes";
        } else if (parseHidReportLine(m_line, m_bytes, why)) {
            return Result::Report;
        }
        m_error = "line " + std::to_string(m_lineNumber) + ": " + why;
        return Result::Error;
    }
    if (std::ferror(m_in) != 0) {
        m_error = std::string("reading failed: ") + std::strerror(errno);
        return Result::Error;
    }
    return Result::End;
}

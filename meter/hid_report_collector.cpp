#include "meter/hid_report_collector.h"

#include <climits>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void HidReportCollector::formatReportLine(std::uint8_t reportId, const std::uint8_t* payload,
                                          std::size_t size, std::string& line) {
    line.resize(6 + 3 * size);
    char* p = line.data();
    p[0] = 'R';
    p[1] = ' ';
    p[2] = kHexDigits[reportId >> 4];
    p[3] = kHexDigits[reportId & 0x0F];
    p[4] = ' ';
    p[5] = ' ';
    p += 6;
    for (std::size_t i = 0; i < size; ++i, p += 3) {
        p[0] = kHexDigits[payload[i] >> 4];
        p[1] = kHexDigits[payload[i] & 0x0F];
        p[2] = ' ';
    }
}

bool HidReportCollector::collect(std::uint8_t reportId, const std::uint8_t* payload,
                                 std::size_t size) {
    if (size >= 1 && m_emptyReportCount < INT32_MAX) {
        ++m_emptyReportCount;
    }
    const std::size_t count = size >= 1 ? (payload[0] & 0x0F) : 0;
    if (count >= 1 && count <= 9) {
        m_emptyReportCount = 0;
        m_frameOpen = true;
        // Only the meter bytes the report really holds.
        for (std::size_t i = 1; i <= count && i < size; ++i) {
            if (m_hexSize < sizeof m_hex) {
                m_hex[m_hexSize++] = kHexDigits[payload[i] >> 4];
                m_hex[m_hexSize++] = kHexDigits[payload[i] & 0x0F];
            }
        }
        if (m_log != nullptr) {
            formatReportLine(reportId, payload, size, m_line);
            m_log->reportLine(m_line);
        }
        return false;
    }
    if (!m_frameOpen) {
        return false;
    }
    return true;
}

std::size_t HidReportCollector::lowDigits(char* out, std::size_t most) const {
    const std::size_t n = m_hexSize / 2 < most ? m_hexSize / 2 : most;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = m_hex[2 * i + 1];
    }
    return n;
}

void HidReportCollector::HidReportData(std::uint8_t reportId, const std::uint8_t* payload,
                                       std::size_t size) {
    if (!collect(reportId, payload, size)) {
        return;
    }
    // F: the low nibbles of the first 13 bytes.
    char f[13];
    const std::size_t n = lowDigits(f, sizeof f);
    if (m_log != nullptr) {
        m_log->frameLines(hidHexText(), std::string_view(f, n));
    }
    // The frame text is F's last character, then its first 12: the line feed's "A" moves to the
    // front as on the serial line.
    char frame[13];
    std::size_t k = 0;
    if (n > 0) {
        frame[k++] = f[n - 1];
        for (std::size_t i = 0; i < n && i < 12; ++i) {
            frame[k++] = f[i];
        }
    }
    const std::string_view frameText(frame, k);
    const DecodeOutcome* outcome = nullptr;
    if (k >= 13 && frame[0] == 'A' && frame[12] == 'D') {
        outcome = &m_decoder.decode(frameText);
    }
    endFrame();
    if (m_listener != nullptr) {
        m_listener->frameCut(frameText, outcome);
    }
}

void HidReportCollector::PelmarkReportData(std::uint8_t reportId, const std::uint8_t* payload,
                                           std::size_t size) {
    if (!collect(reportId, payload, size)) {
        return;
    }
    // H: the high digits of the first 14 bytes, L: their low digits.
    char low[14];
    const std::size_t n = lowDigits(low, sizeof low);
    bool inOrder = n == 14;
    for (std::size_t i = 0; inOrder && i < n; ++i) {
        inOrder = m_hex[2 * i] == kHexDigits[i + 1];
    }
    const std::string_view frameText(low, n);
    m_decoder.consumer().frameText(frameText);
    if (inOrder) {
        ++m_pelmarkAccepted;
        LcdDisplayPelmark(frameText);
    }
    endFrame();
}

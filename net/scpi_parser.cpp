#include "net/scpi_parser.h"

#include <cstdio>
#include <vector>

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// Whether token names the mnemonic written as "SYSTem": its short form (the capitals) or its
// long form, in any case.
bool names(std::string_view token, std::string_view mnemonic) {
    std::string shortForm;
    for (char c : mnemonic) {
        if (c >= 'A' && c <= 'Z') {
            shortForm += c;
        }
    }
    const auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (upper(a[i]) != upper(b[i])) {
                return false;
            }
        }
        return true;
    };
    return same(token, shortForm) || same(token, mnemonic);
}

// Whether header (without its '?') is exactly the path of mnemonics, ':'-separated.
bool isPath(std::string_view header, std::initializer_list<std::string_view> path) {
    std::size_t level = 0;
    for (std::string_view mnemonic : path) {
        ++level;
        const std::size_t colon = header.find(':');
        if (!names(header.substr(0, colon), mnemonic)) {
            return false;
        }
        if (colon == std::string_view::npos) {
            return level == path.size();
        }
        header.remove_prefix(colon + 1);
    }
    return false;
}

}  // namespace

void ScpiParser::pushError(std::string error) {
    if (m_errors.size() >= kMaxErrors) {
        m_errors.back() = "-350,\"Queue overflow\"";
        return;
    }
    m_errors.push_back(std::move(error));
}

std::string ScpiParser::readingAnswer() {
    const std::optional<ScpiInstrument::Reading> r = m_instrument.lastReading();
    if (!r) {
        pushError("-230,\"Data corrupt or stale\"");
        return "9.91E37";  // not a number
    }
    if (r->overload == ScpiInstrument::Reading::Overload::Positive) {
        return "9.9E37";
    }
    if (r->overload == ScpiInstrument::Reading::Overload::Negative) {
        return "-9.9E37";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.6E", r->si);
    return text;
}

std::optional<std::string> ScpiParser::command(std::string_view text) {
    const std::size_t space = text.find_first_of(" \t");
    std::string_view header = text.substr(0, space);
    if (header.starts_with(':')) {
        header.remove_prefix(1);
    }
    const bool query = header.ends_with('?');
    if (query) {
        header.remove_suffix(1);
    }
    if (query && names(header, "*IDN")) {
        return "Halvern,Interface Program," + m_instrument.serial() + "," + m_instrument.version();
    }
    if (query &&
        (isPath(header, {"READ"}) || isPath(header, {"MEASure"}) || isPath(header, {"FETCh"}))) {
        return readingAnswer();
    }
    if (query && isPath(header, {"CONFigure"})) {
        const std::optional<ScpiInstrument::Reading> r = m_instrument.lastReading();
        return "\"" + (r ? r->quantity + "," + r->unit : std::string(",")) + "\"";
    }
    if (query &&
        (isPath(header, {"SYSTem", "ERRor"}) || isPath(header, {"SYSTem", "ERRor", "NEXT"}))) {
        if (m_errors.empty()) {
            return std::string("0,\"No error\"");
        }
        std::string error = std::move(m_errors.front());
        m_errors.pop_front();
        return error;
    }
    if (!query && names(header, "*CLS")) {
        m_errors.clear();
        return std::nullopt;
    }
    pushError("-113,\"Undefined header\"");
    return std::nullopt;
}

std::string ScpiParser::handleLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    std::string answer;
    bool any = false;
    while (true) {
        const std::size_t semi = line.find(';');
        const std::string_view part = trim(line.substr(0, semi));
        if (!part.empty()) {
            if (std::optional<std::string> a = command(part)) {
                if (any) {
                    answer += ';';
                }
                answer += *a;
                any = true;
            }
        }
        if (semi == std::string_view::npos) {
            break;
        }
        line.remove_prefix(semi + 1);
    }
    if (any) {
        answer += '\n';
    }
    return answer;
}

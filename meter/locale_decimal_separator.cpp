#include "meter/locale_decimal_separator.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

namespace {

// The locale's category of the environment as a locale object of our own: the process-wide
// locale stays "C", so file formats and number conversions never change with the user's
// settings.
class SystemLocale {
public:
    explicit SystemLocale(int mask)
        : m_locale(newlocale(mask, "", static_cast<locale_t>(nullptr))) {
        if (m_locale == static_cast<locale_t>(nullptr)) {
            m_locale = newlocale(mask, "C", static_cast<locale_t>(nullptr));
        }
    }
    ~SystemLocale() {
        if (m_locale != static_cast<locale_t>(nullptr)) {
            freelocale(m_locale);
        }
    }
    SystemLocale(const SystemLocale&) = delete;
    SystemLocale& operator=(const SystemLocale&) = delete;

    // The item's text; empty when the locale could not be made.
    std::string_view item(nl_item what) const {
        if (m_locale == static_cast<locale_t>(nullptr)) {
            return {};
        }
        const char* text = nl_langinfo_l(what, m_locale);
        return text != nullptr ? std::string_view(text, strnlen(text, 64)) : std::string_view();
    }

private:
    locale_t m_locale;
};

bool isUtf8(std::string_view codeset) {
    return codeset == "UTF-8" || codeset == "utf-8" || codeset == "UTF8" || codeset == "utf8";
}

}  // namespace

std::string acceptLocaleSeparator(std::string_view text, std::string_view codeset,
                                  std::string_view fallback) {
    unsigned code = 0;
    if (text.size() == 1) {
        code = static_cast<unsigned char>(text[0]);
        // One byte of UTF-8 is ASCII; one byte of an 8-bit set is taken as it stands.
        if (isUtf8(codeset) && code >= 0x80) {
            return std::string(fallback);
        }
    } else if (text.size() == 2 && isUtf8(codeset)) {
        // A two-byte UTF-8 sequence below U+0100 is a Latin-1 character.
        const auto lead = static_cast<unsigned char>(text[0]);
        const auto next = static_cast<unsigned char>(text[1]);
        if ((lead != 0xC2 && lead != 0xC3) || (next & 0xC0) != 0x80) {
            return std::string(fallback);
        }
        code = ((lead & 0x1Fu) << 6) | (next & 0x3Fu);
    } else {
        return std::string(fallback);
    }
    // A control character or a digit would make the value text unreadable.
    if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0) ||
        (code >= '0' && code <= '9')) {
        return std::string(fallback);
    }
    return std::string(1, static_cast<char>(code));
}

std::string timeSeparatorOf(std::string_view format) {
    // Skip to the end of the first conversion (%H, %OH, %-H, ...), then take the text up to the
    // next one.
    std::size_t i = format.find('%');
    if (i == std::string_view::npos) {
        return {};
    }
    ++i;
    while (i < format.size() && std::strchr("-_0^#EO", format[i]) != nullptr) {
        ++i;
    }
    if (i >= format.size() || std::strchr("HIkl", format[i]) == nullptr) {
        return {};  // %T, %R, %r, %X: no separator of its own to read
    }
    const std::size_t start = i + 1;
    const std::size_t end = format.find('%', start);
    if (end == std::string_view::npos || end == start) {
        return {};
    }
    return std::string(format.substr(start, end - start));
}

std::string ReadLocaleDecimalSeparator() {
    const SystemLocale numeric(LC_NUMERIC_MASK | LC_CTYPE_MASK);
    return acceptLocaleSeparator(numeric.item(RADIXCHAR), numeric.item(CODESET), ".");
}

std::string ReadLocaleTimeSeparator() {
    const SystemLocale time(LC_TIME_MASK | LC_CTYPE_MASK);
    return acceptLocaleSeparator(timeSeparatorOf(time.item(T_FMT)), time.item(CODESET), ":");
}

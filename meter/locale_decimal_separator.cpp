#include "meter/locale_decimal_separator.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

std::string ReadLocaleDecimalSeparator() {
    // A locale object of our own: the process-wide locale stays "C", so file formats and the
    // number conversions elsewhere never change with the user's settings.
    locale_t system = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (system == static_cast<locale_t>(nullptr)) {
        system = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
        if (system == static_cast<locale_t>(nullptr)) {
            return ".";
        }
    }
    const char* radix = nl_langinfo_l(RADIXCHAR, system);
    std::string separator =
        radix != nullptr ? std::string(radix, strnlen(radix, 9)) : std::string();
    freelocale(system);
    return separator;
}

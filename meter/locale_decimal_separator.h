#pragma once

#include <string>
#include <string_view>

// The decimal separator of the system's default locale (the environment's LC_ALL, LC_NUMERIC or
// LANG), read without touching the program's own locale. Always one character of the program's
// 8-bit character set (Latin-1), which is what the LCD, the grid and the files hold: a locale
// whose separator is none (empty) or is not one such character (the Arabic "٫" of ps_AF, say)
// gets ".". Never fails.
std::string ReadLocaleDecimalSeparator();

// The system's time separator (from the locale's time format, LC_TIME), for the table's Time
// field: "." in fi_FI, ":" in most locales and whenever the format does not tell. One Latin-1
// character, ":" otherwise. Never fails.
std::string ReadLocaleTimeSeparator();

// The rule both use: text is the locale's separator in the locale's character set (codeset as
// nl_langinfo names it, "UTF-8" or an 8-bit set). Returns it as one Latin-1 character, or
// fallback when it is empty, longer than one character or has no Latin-1 form.
std::string acceptLocaleSeparator(std::string_view text, std::string_view codeset,
                                  std::string_view fallback);

// The separator between hours and minutes in a strftime time format ("%H.%M.%S" gives "."), or
// empty when the format does not show one ("%T", "%r" and the like). Never fails.
std::string timeSeparatorOf(std::string_view timeFormat);

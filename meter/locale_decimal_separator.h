#pragma once

#include <string>

// The decimal separator of the system's default locale (the environment's LC_ALL, LC_NUMERIC or
// LANG), read without touching the program's own locale. At most 9 characters; empty when the
// system gives none. Never fails.
std::string ReadLocaleDecimalSeparator();

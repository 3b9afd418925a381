#pragma once

#include <string>
#include <string_view>

// The meter's texts carry characters that its LCD glyph fonts draw as symbols ("*" ohm, "#" degC,
// "?" degF, ")" diode, "<" dwell angle, "@" the L of the overload display, ...). No such font
// exists here, so the grid, the report and the analysis files show the symbols themselves;
// stored texts and the text and XML files keep the characters as recorded.

// The symbol a glyph character stands for, in UTF-8; empty when the character is itself.
std::string_view glyphSymbol(char c);

// The text as the glyph font would show it, in UTF-8: every glyph character replaced by its
// symbol, other bytes taken as Latin-1 (the 8-bit texts of files from elsewhere never fail).
std::string glyphDisplayUtf8(std::string_view text);

// The same, appended to out (no allocation once out has room).
void appendGlyphDisplayUtf8(std::string& out, std::string_view text);

// An 8-bit stored text (Latin-1) in UTF-8, for texts never drawn in the glyph font.
std::string latin1ToUtf8(std::string_view text);
void appendLatin1AsUtf8(std::string& out, std::string_view text);

// The reverse of glyphDisplayUtf8 for the symbols that cannot be mistaken for plain text (ohm,
// degrees, diode, dwell angle, continuity beeper); the words the glyphs show ("L", "BAT",
// "HOLD") stay as they are. Code points above 0xFF become "?". Never fails.
std::string storedTextOfDisplay(std::string_view utf8);

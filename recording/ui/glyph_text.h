#pragma once

#include <QFont>
#include <QString>
#include <string_view>

// The meter's texts carry characters that its LCD glyph fonts draw as symbols ("*" ohm, "#" degC,
// "?" degF, ")" diode, "<" dwell angle, "@" the L of the overload display, ...). No such font
// exists here, so the grid and the report show the symbols themselves; stored texts and files
// keep the characters as recorded.

// The text as the glyph font would show it: every glyph character replaced by its symbol,
// other bytes taken as Latin-1 (the 8-bit texts of files from elsewhere never fail).
QString glyphDisplayText(std::string_view text);

// An 8-bit stored text as is (Latin-1), for columns that were never drawn in the glyph font.
QString plainText(std::string_view text);

// Stand-in for the glyph fonts "KORVA-A2"/"KORVA-A3" at the given character height in pixels.
QFont glyphStandInFont(int pixelHeight, bool bold = false);
// Stand-in for "Arial" (metric-compatible) at the given character height in pixels.
QFont arialStandInFont(int pixelHeight);

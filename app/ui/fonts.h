#pragma once

#include <QFont>

// Maps the font names the window asks for ("MS Sans Serif", "Arial") to metric-compatible free
// fonts, so the window looks the same on every machine. Safe to call more than once.
void installFontSubstitutions();

// The window's font: "MS Sans Serif", 11 pixels (8 points at 96 dpi), bold.
QFont windowFont();

// "Arial" at the given pixel height, bold or not.
QFont arialFont(int pixelHeight, bool bold);

#pragma once

#include <QPainterPath>
#include <QRectF>
#include <array>
#include <cstdint>

// Seven-segment glyphs as the meter's LCD draws its digits. Segments a..g are bits 0..6:
// a top, b top right, c bottom right, d bottom, e bottom left, f top left, g middle.
namespace SevenSegment {

// The segments that show a character: the digits, the hexadecimal letters a frame may carry,
// the letters of "open", "@" (the "L" of the overload display "0L") and "-". Blanks and any
// other character show nothing.
std::uint8_t segmentsFor(char c);

// The outline of each segment for a cell of this size, with a forward slant like a real LCD
// (slant = horizontal shift at the top per pixel of height) and segment thickness.
std::array<QPainterPath, 7> segmentPaths(const QRectF& cell, qreal thickness, qreal slant);

// The outline of the lit segments of a character, from paths made by segmentPaths.
QPainterPath glyphPath(const std::array<QPainterPath, 7>& segments, std::uint8_t mask);

}  // namespace SevenSegment

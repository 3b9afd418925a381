#pragma once

#include <string_view>

#include "meter/count_mode.h"
#include "meter/current_reading.h"
#include "meter/lcd_state.h"

// What the frame decoder drives, called in this order for every frame it is handed:
//   frameMark, frameText, lcdApply, scaleUpdate, limitCheck, recordReading, barGraph, chartFeed.
// A frame whose processing ends on a failed conversion stops at the failing step and then calls
// conversionFailed with the message ("'B' is not a valid integer value"); the steps after the
// failure are not called. The window, the command line and the tests each plug in their own
// consumers; every hook has an empty default.
class ReadingConsumer {
public:
    virtual ~ReadingConsumer() = default;

    // Step 1: a frame arrived (connection indicator: show the active icon, zero its tick count).
    virtual void frameMark() {}
    // The frame text as handed over (the diagnostic label USBtxt). Also called by the frame
    // handlers of the other profiles, whose frames are not decoded.
    virtual void frameText(std::string_view nibbleFrame) { (void)nibbleFrame; }
    // Step 8: the LCD shows this state.
    virtual void lcdApply(const LcdState& state) { (void)state; }
    // Step 10: the scale face of this count mode, the needle at needleValue (0 = left end,
    // NeedleOffset = zero, 10 * ScaleSteps = right end; not clamped).
    virtual void scaleUpdate(const FrameCountMode& mode, int needleValue) {
        (void)mode;
        (void)needleValue;
    }
    // Step 12: limit alarm, then running extremes, with the complete reading of this frame.
    virtual void limitCheck(const CurrentReading& reading, const FrameCountMode& mode) {
        (void)reading;
        (void)mode;
    }
    // Step 13: the recording step; answers whether a row was appended.
    virtual bool recordReading(const CurrentReading& reading) {
        (void)reading;
        return false;
    }
    // Step 14: the bar graph. position is never above maximum (the bar cannot show more).
    virtual void barGraph(int maximum, int position) {
        (void)maximum;
        (void)position;
    }
    // Step 15: only for a frame that became a row: the value to plot.
    virtual void chartFeed(int y) { (void)y; }
    // The frame's processing ended on a failed conversion.
    virtual void conversionFailed(std::string_view message) { (void)message; }
};

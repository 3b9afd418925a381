#pragma once

#include <QString>

#include "meter/fixed_text.h"
#include "meter/reading_consumer.h"

class AnalogScale;
class ConnectionIndicatorView;
class QProgressBar;
class VirtualLcd;

// What the decoder drives in the window: the connection indicator, the LCD, the scale with its
// alarm and extremes, and the bar graph; the recording step and the chart feed go to the
// consumers the table and the chart attach (none attached: no row, no point). Nothing here
// allocates per frame.
class WindowConsumer : public ReadingConsumer {
public:
    WindowConsumer(ConnectionIndicatorView& indicator, VirtualLcd& lcd, AnalogScale& scale,
                   QProgressBar& bar);

    // The last frame text handed over (the hidden diagnostic label USBtxt).
    QString usbText() const;

    void frameMark() override;
    void frameText(std::string_view nibbleFrame) override;
    void lcdApply(const LcdState& state) override;
    void scaleUpdate(const FrameCountMode& mode, int needleValue) override;
    void limitCheck(const CurrentReading& reading, const FrameCountMode& mode) override;
    void barGraph(int maximum, int position) override;
    void conversionFailed(std::string_view message) override;

private:
    ConnectionIndicatorView& m_indicator;
    VirtualLcd& m_lcd;
    AnalogScale& m_scale;
    QProgressBar& m_bar;
    FixedText<32> m_usbText;
};

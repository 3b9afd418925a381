#include "app/ui/window_consumer.h"

#include <QProgressBar>
#include <algorithm>

#include "display/ui/analog_scale.h"
#include "lcd/ui/connection_indicator_view.h"
#include "lcd/ui/virtual_lcd.h"

WindowConsumer::WindowConsumer(ConnectionIndicatorView& indicator, VirtualLcd& lcd,
                               AnalogScale& scale, QProgressBar& bar)
    : m_indicator(indicator), m_lcd(lcd), m_scale(scale), m_bar(bar) {}

QString WindowConsumer::usbText() const {
    const std::string_view t = m_usbText.view();
    return QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size()));
}

void WindowConsumer::frameMark() {
    m_indicator.frameMark();
}

void WindowConsumer::frameText(std::string_view nibbleFrame) {
    m_usbText.assign(nibbleFrame);
}

void WindowConsumer::lcdApply(const LcdState& state) {
    m_lcd.apply(state);
}

void WindowConsumer::scaleUpdate(const FrameCountMode& mode, int needleValue) {
    m_scale.scaleUpdate(mode, needleValue);
    // The bar's maximum comes with the count mode chosen here, so a frame that fails before the
    // bar's own step still leaves the bar scaled for its mode.
    const int top = std::max(mode.barMaximum, 0);
    if (m_bar.maximum() != top) {
        m_bar.setUpdatesEnabled(false);
        if (m_bar.value() > top) {
            m_bar.setValue(top);  // inside the old range; a value outside the new one would reset
        }
        m_bar.setRange(0, top);
        m_bar.setUpdatesEnabled(true);
    }
}

void WindowConsumer::limitCheck(const CurrentReading& reading, const FrameCountMode& mode) {
    m_scale.limitCheck(reading, mode);
}

void WindowConsumer::barGraph(int maximum, int position) {
    const int top = std::max(maximum, 0);
    // The bar cannot show more than its maximum.
    const int value = std::clamp(position, 0, top);
    if (m_bar.maximum() == top && m_bar.value() == value) {
        return;
    }
    // QProgressBar repaints at once on a new value; the window repaints once after the whole
    // frame instead, so no half-updated state is drawn and nothing is painted twice.
    m_bar.setUpdatesEnabled(false);
    if (m_bar.maximum() != top) {
        m_bar.setRange(0, top);
    }
    m_bar.setValue(value);
    m_bar.setUpdatesEnabled(true);
}

void WindowConsumer::conversionFailed(std::string_view message) {
    m_lcd.noteConversionFailure(
        QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size())));
}

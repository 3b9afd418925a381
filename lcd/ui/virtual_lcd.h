#pragma once

#include <QFrame>
#include <QImage>
#include <QString>
#include <cstdint>
#include <unordered_map>

#include "meter/lcd_state.h"

class QLabel;

// The replica of the meter's LCD (Panel1): four large seven-segment digits, the minus sign, three
// decimal points, the range indicator and every annunciator, drawn as vector shapes on the cream
// panel, so it stays crisp at any size. It shows exactly the last applied LcdState; before the
// first frame it reads 3 9 9 9 and nothing else. Frames whose decoding failed are counted in a
// small notice with the last message as its tool tip, so bad frames never stop the display.
class VirtualLcd : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 425;
    static constexpr int kHeight = 206;

    explicit VirtualLcd(QWidget* parent = nullptr);

    // Apply: the LCD shows this state (repainted only when something visible changed).
    void apply(const LcdState& state);

    // What the LCD shows now, for the window's other parts and for tests.
    const LcdState& shownState() const { return m_state; }
    bool isShown(LcdElement element) const;  // an annunciator, unit sign or range mark
    QString digitText(int index) const;      // LcdDa..LcdDd for 0..3; empty otherwise
    QString modeCaption() const;             // LcdDc1's caption
    QString timeText() const;                // the hidden label d_t
    int point() const { return m_state.point; }
    bool minusShown() const { return m_state.minus; }

    // A frame's decoding failed with this message: count it and show the notice.
    void noteConversionFailure(const QString& message);
    int failedFrames() const { return m_failedFrames; }
    QLabel* failureNotice() const { return m_failureNotice; }

    QSize sizeHint() const override { return {kWidth, kHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Whether an item (digit, minus, point, element) shows in a state; c gets a digit's character.
    static bool itemShown(const LcdState& state, int item, char* c);
    std::uint64_t spriteKey(int item, char c) const;
    const QImage& sprite(int item, char c, qreal dpr);

    LcdState m_state;
    QImage m_background;  // the cream panel with its bevel
    std::unordered_map<std::uint64_t, QImage> m_sprites;
    int m_failedFrames = 0;
    QLabel* m_failureNotice = nullptr;
};

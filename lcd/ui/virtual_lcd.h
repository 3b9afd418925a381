#pragma once

#include <QFrame>
#include <QImage>
#include <QString>
#include <cstdint>
#include <unordered_map>

#include "meter/lcd_state.h"

class QLabel;
class QTimer;

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

    // A frame the meter sent failed to decode with this message: count it and show the notice
    // "N bad frames", the message in its tool tip. The notice fades once no failure has come for
    // kNoticeFadeMs; the count goes on until resetFailureNotice.
    void noteConversionFailure(const QString& message);
    // A new start (New, a new connection): the count restarts and the notice goes.
    void resetFailureNotice();
    int failedFrames() const { return m_failedFrames; }
    QLabel* failureNotice() const { return m_failureNotice; }
    QTimer* failureFade() const { return m_failureFade; }
    static constexpr int kNoticeFadeMs = 10000;

    // A non-modal notice on the panel that stays until replaced or cleared (a port that could
    // not be opened, and why); an empty text clears it. The tool tip carries the whole text.
    void showConnectionNotice(const QString& text, const QString& toolTip);
    QLabel* connectionNotice() const { return m_connectionNotice; }
    // The same for the recording journal that cannot be written (the path, the reason, and that
    // the readings are not protected); an empty text clears it.
    void showJournalNotice(const QString& text, const QString& toolTip);
    QLabel* journalNotice() const { return m_journalNotice; }
    // The state of the network outputs (the broker, the SCPI server): one short line at the
    // panel's lower right, the whole text in the tool tip, red when rows cannot go out; an empty
    // text hides it. Apart from the notices above, it stays while the outputs are on.
    void showOutputsNotice(const QString& text, const QString& toolTip, bool trouble);
    QLabel* outputsNotice() const { return m_outputsNotice; }

    QSize sizeHint() const override { return {kWidth, kHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void placeJournalNotice();
    // Whether an item (digit, minus, point, element) shows in a state; c gets a digit's character.
    static bool itemShown(const LcdState& state, int item, char* c);
    std::uint64_t spriteKey(int item, char c) const;
    const QImage& sprite(int item, char c, qreal dpr);

    LcdState m_state;
    QImage m_background;  // the cream panel with its bevel
    std::unordered_map<std::uint64_t, QImage> m_sprites;
    int m_failedFrames = 0;
    QLabel* m_failureNotice = nullptr;
    QTimer* m_failureFade = nullptr;
    QLabel* m_connectionNotice = nullptr;
    QLabel* m_journalNotice = nullptr;
    QString m_journalText;  // the journal notice's whole text, elided to its place
    QLabel* m_outputsNotice = nullptr;
};

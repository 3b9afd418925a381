#include "lcd/ui/virtual_lcd.h"

#include <qdrawutil.h>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPicture>
#include <QPolygonF>
#include <QTimer>

#include <array>

#include "lcd/ui/seven_segment.h"

namespace {

const QColor kCream(238, 236, 212);
const QColor kInk(24, 26, 24);
const QColor kBolt(214, 32, 28);

constexpr std::array<int, 4> kDigitLeft{56, 136, 216, 288};
constexpr qreal kDigitTop = 34;
constexpr qreal kDigitWidth = 56;
constexpr qreal kDigitHeight = 104;
constexpr qreal kDigitThickness = 11;
constexpr qreal kSlant = 0.07;

// The segment outlines of every seven-segment place on the panel, built once.
struct Glyphs {
    std::array<std::array<QPainterPath, 7>, 4> digits;
    std::array<QPainterPath, 7> minus;
    std::array<QPainterPath, 7> cyl4;
    std::array<QPainterPath, 7> cyl6;
    std::array<QPainterPath, 7> cyl8;
    std::array<QPainterPath, 7> range4;
    std::array<QPainterPath, 7> range1;
    std::array<QPainterPath, 7> range00;
    std::array<QPainterPath, 7> range10;
    std::array<QPainterPath, 7> range20;

    Glyphs() {
        for (std::size_t i = 0; i < 4; ++i) {
            digits[i] = SevenSegment::segmentPaths(
                QRectF(kDigitLeft[i], kDigitTop, kDigitWidth, kDigitHeight), kDigitThickness,
                kSlant);
        }
        // The minus: a middle segment of its own, as long as a digit's.
        minus = SevenSegment::segmentPaths(QRectF(2, kDigitTop, 46, kDigitHeight),
                                           kDigitThickness - 1, kSlant);
        auto small = [](qreal x, qreal y, qreal w, qreal h, qreal t) {
            return SevenSegment::segmentPaths(QRectF(x, y, w, h), t, kSlant);
        };
        cyl4 = small(240, 10, 9, 17, 2.4);
        cyl6 = small(257, 10, 9, 17, 2.4);
        cyl8 = small(272, 10, 9, 17, 2.4);
        range4 = small(155, 157, 9, 17, 2.6);
        range1 = small(165, 157, 9, 17, 2.6);
        range00 = small(175, 157, 8, 17, 2.6);
        range10 = small(185, 157, 8, 17, 2.6);
        range20 = small(195, 157, 8, 17, 2.6);
    }
};

const Glyphs& glyphs() {
    static const Glyphs g;
    return g;
}

QFont lcdFont(int pixels, bool bold = true) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// The fonts of the annunciators, made once.
struct Fonts {
    QFont caption = lcdFont(15);
    QFont maxMin = lcdFont(19);
    QFont unit = lcdFont(30);
    QFont prefix = lcdFont(22);
    QFont small = lcdFont(14);
    QFont tiny = lcdFont(12);
    QFont degree = lcdFont(20);
};

const Fonts& fonts() {
    static const Fonts f;
    return f;
}

void fillGlyph(QPainter& p, const std::array<QPainterPath, 7>& segments, char c) {
    const std::uint8_t mask = SevenSegment::segmentsFor(c);
    for (int i = 0; i < 7; ++i) {
        if (mask & (1u << i)) {
            p.drawPath(segments[static_cast<std::size_t>(i)]);
        }
    }
}

// The character a digit text shows: its first non-blank one (the overload display pads with
// blanks).
char shownChar(std::string_view text) {
    for (char c : text) {
        if (c != ' ') {
            return c;
        }
    }
    return ' ';
}

void text(QPainter& p, const QRectF& place, const QFont& font, const QString& caption,
          Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    p.setFont(font);
    p.drawText(place, int(align) | Qt::TextDontClip, caption);
}

void drawBolt(QPainter& p) {
    const QPolygonF bolt{{26, 104}, {11, 118}, {20, 118}, {13, 129},
                         {33, 113}, {24, 113}, {32, 104}};
    p.setBrush(kBolt);
    p.drawPolygon(bolt);
    p.setBrush(kInk);
}

void drawSend(QPainter& p) {
    QPen pen(kInk, 2);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(8, 5, 30, 20), 2, 2);
    p.drawLine(QPointF(23, 25), QPointF(23, 29));
    p.drawLine(QPointF(16, 30), QPointF(30, 30));
    text(p, QRectF(8, 5, 30, 20), fonts().small, QStringLiteral("S"), Qt::AlignCenter);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
}

void drawBattery(QPainter& p) {
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(59, 8, 24, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(83, 11, 3, 6));
    p.drawRect(QRectF(62, 11, 5, 6));
}

void drawContinuity(QPainter& p) {
    p.drawEllipse(QPointF(349, 18), 3, 3);
    p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int r : {6, 10, 14}) {
        p.drawArc(QRectF(349 - r, 18 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
}

void drawDiode(QPainter& p) {
    p.setPen(QPen(kInk, 2));
    p.drawLine(QPointF(385, 17), QPointF(414, 17));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF{{392, 8}, {392, 26}, {404, 17}});
    p.drawRect(QRectF(404, 8, 2.5, 18));
}

void drawDwellAngle(QPainter& p) {
    p.setPen(QPen(kInk, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{{386, 38}, {364, 61}, {390, 61}});
    p.drawArc(QRectF(372, 46, 16, 22), 0, 50 * 16);
    p.setPen(QPen(kInk, 1.6));
    p.drawEllipse(QPointF(393, 39), 2.6, 2.6);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
}

// What the panel draws, one item at a time: the four digits, the minus, the three points and
// the elements. Each item has a fixed place, so a frame repaints only the items that changed and
// each item's look is drawn once and kept as a sprite.
constexpr int kMinusItem = 4;
constexpr int kPointItem = 5;
constexpr int kElementItem = 8;
constexpr int kItemCount = kElementItem + static_cast<int>(kLcdElementCount);

struct TextElement {
    LcdElement element;
    QRectF place;
    const QFont* font;
    const char16_t* caption;
    bool centred;
};

const TextElement* textElement(LcdElement e) {
    using E = LcdElement;
    const Fonts& f = fonts();
    static const TextElement texts[] = {
        {E::LCDHold, {8, 156, 50, 18}, &f.small, u"HOLD", false},
        {E::Labmax, {100, 4, 48, 24}, &f.maxMin, u"MAX", false},
        {E::Labmin, {156, 4, 40, 24}, &f.maxMin, u"MIN", false},
        {E::CYL, {288, 8, 40, 22}, &f.small, u"CYL", false},
        {E::LCDBF, {398, 40, 22, 23}, &f.degree, u"%", true},
        {E::LCDCS, {358, 65, 32, 30}, &f.prefix, u"\u00B0C", false},
        {E::LCDFS, {390, 65, 32, 30}, &f.prefix, u"\u00B0F", false},
        {E::Lcdm, {359, 84, 32, 39}, &f.unit, u"m", true},
        {E::lcduu, {359, 86, 30, 36}, &f.unit, u"\u00B5", true},
        {E::LCDn, {366, 86, 24, 36}, &f.unit, u"n", true},
        {E::LcdV, {391, 84, 28, 39}, &f.unit, u"V", true},
        {E::LCDA, {391, 82, 28, 39}, &f.unit, u"A", true},
        {E::LCDF, {391, 82, 28, 39}, &f.unit, u"F", true},
        {E::LCDohm, {390, 113, 30, 39}, &f.unit, u"\u03A9", true},
        {E::lcdhz, {374, 114, 48, 39}, &f.unit, u"Hz", true},
        {E::lcdkk, {350, 122, 24, 30}, &f.prefix, u"k", true},
        {E::LCDMM, {350, 122, 26, 30}, &f.prefix, u"M", true},
        {E::LcdAuto, {64, 155, 60, 22}, &f.caption, u"AUTO", false},
        {E::LcdManu, {64, 155, 60, 22}, &f.caption, u"MANU", false},
        {E::DWL, {252, 155, 44, 19}, &f.small, u"DWL", false},
        {E::LcdRPM, {302, 155, 66, 19}, &f.small, u"RPM\u00D710", false},
        {E::LCDM1, {205, 153, 16, 22}, &f.small, u"m", true},
        {E::LCDVV, {221, 153, 14, 22}, &f.small, u"v", true},
    };
    for (const TextElement& t : texts) {
        if (t.element == e) {
            return &t;
        }
    }
    return nullptr;
}

const QRectF kCaptionPlace(5, 52, 46, 23);
constexpr QRectF kPoints[] = {{119, 129, 10, 8}, {195, 129, 10, 8}, {272, 129, 9, 8}};

void preparePainter(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
}

// Draws one item; c is the digit's character, caption the mode caption.
void drawItem(QPainter& p, int item, char c, const QString& caption) {
    const Glyphs& g = glyphs();
    if (item < kMinusItem) {
        fillGlyph(p, g.digits[static_cast<std::size_t>(item)], c);
        return;
    }
    if (item == kMinusItem) {
        p.drawPath(g.minus[6]);
        return;
    }
    if (item < kElementItem) {
        p.drawRect(kPoints[item - kPointItem]);
        return;
    }
    using E = LcdElement;
    const E e = static_cast<E>(item - kElementItem);
    switch (e) {
        case E::LCDsend:
            drawSend(p);
            return;
        case E::WEI:
            drawBolt(p);
            return;
        case E::LCDBATT:
            drawBattery(p);
            return;
        case E::LCDFm:
            drawContinuity(p);
            return;
        case E::LCDDI:
            drawDiode(p);
            return;
        case E::D:
            drawDwellAngle(p);
            return;
        case E::D4:
            fillGlyph(p, g.cyl4, '4');
            return;
        case E::D6:
            fillGlyph(p, g.cyl6, '6');
            return;
        case E::D8:
            fillGlyph(p, g.cyl8, '8');
            return;
        case E::dd4:
            fillGlyph(p, g.range4, '4');
            return;
        case E::dd1:
            fillGlyph(p, g.range1, '1');
            return;
        case E::dd00:
            fillGlyph(p, g.range00, '0');
            return;
        case E::dd10:
            fillGlyph(p, g.range10, '0');
            return;
        case E::dd20:
            fillGlyph(p, g.range20, '0');
            return;
        case E::LcdDc1:
            p.setPen(kInk);
            text(p, kCaptionPlace, fonts().caption, caption);
            p.setPen(Qt::NoPen);
            return;
        default:
            break;
    }
    if (const TextElement* t = textElement(e)) {
        p.setPen(kInk);
        text(p, t->place, *t->font, QString::fromUtf16(t->caption),
             t->centred ? Qt::Alignment(Qt::AlignCenter) : (Qt::AlignLeft | Qt::AlignVCenter));
        p.setPen(Qt::NoPen);
    }
}

// Where each item can draw, in panel pixels (with room for antialiasing).
const std::array<QRect, kItemCount>& itemRects() {
    static const std::array<QRect, kItemCount> rects = [] {
        std::array<QRect, kItemCount> r{};
        const Glyphs& g = glyphs();
        auto around = [](const QRectF& f) { return f.toAlignedRect().adjusted(-2, -2, 2, 2); };
        for (int i = 0; i < kMinusItem; ++i) {
            r[static_cast<std::size_t>(i)] =
                around(SevenSegment::glyphPath(g.digits[static_cast<std::size_t>(i)], 0x7F)
                           .boundingRect());
        }
        r[kMinusItem] = around(g.minus[6].boundingRect());
        for (int i = 0; i < 3; ++i) {
            r[static_cast<std::size_t>(kPointItem + i)] = around(kPoints[i]);
        }
        for (int i = kElementItem; i < kItemCount; ++i) {
            const LcdElement e = static_cast<LcdElement>(i - kElementItem);
            QPicture picture;
            {
                QPainter p(&picture);
                preparePainter(p);
                drawItem(p, i, '8', QStringLiteral("DCA"));
            }
            QRect bounds = picture.boundingRect();
            if (const TextElement* t = textElement(e)) {
                bounds |= t->place.toAlignedRect();
            } else if (e == LcdElement::LcdDc1) {
                bounds |= kCaptionPlace.toAlignedRect();
            }
            r[static_cast<std::size_t>(i)] =
                bounds.isEmpty() ? QRect() : bounds.adjusted(-3, -3, 3, 3);
        }
        return r;
    }();
    return rects;
}

}  // namespace

VirtualLcd::VirtualLcd(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel1"));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_failureNotice = new QLabel(this);
    m_failureNotice->setObjectName(QStringLiteral("badFrames"));
    // Eight pixels from the panel's right edge, as the connection notice is from its left.
    m_failureNotice->setGeometry(kWidth - 8 - 105, 186, 105, 17);
    m_failureNotice->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_failureNotice->setStyleSheet(QStringLiteral("color: #b01e1e;"));
    QFont f = m_failureNotice->font();
    f.setPixelSize(11);
    f.setBold(true);
    m_failureNotice->setFont(f);
    m_failureNotice->hide();
    // The notice fades when the failures stop; its tool tip keeps the last message until then.
    m_failureFade = new QTimer(this);
    m_failureFade->setSingleShot(true);
    m_failureFade->setInterval(kNoticeFadeMs);
    connect(m_failureFade, &QTimer::timeout, m_failureNotice, &QWidget::hide);

    // A port's failure to open: left of the bad-frame notice, on the panel's bottom line.
    m_connectionNotice = new QLabel(this);
    m_connectionNotice->setObjectName(QStringLiteral("connectionNotice"));
    m_connectionNotice->setGeometry(8, 186, 300, 17);
    m_connectionNotice->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_connectionNotice->setStyleSheet(QStringLiteral("color: #b01e1e;"));
    m_connectionNotice->setFont(f);
    m_connectionNotice->hide();

    // The journal's trouble: one line above, across the panel.
    m_journalNotice = new QLabel(this);
    m_journalNotice->setObjectName(QStringLiteral("journalNotice"));
    m_journalNotice->setGeometry(8, 169, 414, 17);
    m_journalNotice->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_journalNotice->setStyleSheet(QStringLiteral("color: #b01e1e;"));
    m_journalNotice->setFont(f);
    m_journalNotice->hide();

    // The network outputs: right of the range indicator, above the bad-frame notice.
    m_outputsNotice = new QLabel(this);
    m_outputsNotice->setObjectName(QStringLiteral("outputsNotice"));
    m_outputsNotice->setGeometry(kWidth - 8 - 190, 170, 190, 16);
    m_outputsNotice->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_outputsNotice->setFont(f);
    m_outputsNotice->hide();
}

void VirtualLcd::showOutputsNotice(const QString& text, const QString& toolTip, bool trouble) {
    if (text.isEmpty()) {
        m_outputsNotice->hide();
        m_outputsNotice->clear();
        m_outputsNotice->setToolTip(QString());
        placeJournalNotice();
        return;
    }
    m_outputsNotice->setStyleSheet(trouble ? QStringLiteral("color: #b01e1e;")
                                           : QStringLiteral("color: #2d5f2d;"));
    const QFontMetrics metrics(m_outputsNotice->font());
    m_outputsNotice->setText(metrics.elidedText(text, Qt::ElideRight, m_outputsNotice->width()));
    m_outputsNotice->setToolTip(toolTip.isEmpty() ? text : toolTip);
    m_outputsNotice->show();
    placeJournalNotice();
}

void VirtualLcd::resetFailureNotice() {
    m_failedFrames = 0;
    m_failureFade->stop();
    m_failureNotice->hide();
    m_failureNotice->clear();
    m_failureNotice->setToolTip(QString());
}

void VirtualLcd::showConnectionNotice(const QString& text, const QString& toolTip) {
    if (text.isEmpty()) {
        m_connectionNotice->hide();
        m_connectionNotice->clear();
        m_connectionNotice->setToolTip(QString());
        return;
    }
    const QFontMetrics metrics(m_connectionNotice->font());
    m_connectionNotice->setText(
        metrics.elidedText(text, Qt::ElideRight, m_connectionNotice->width()));
    m_connectionNotice->setToolTip(toolTip.isEmpty() ? text : toolTip);
    m_connectionNotice->show();
}

void VirtualLcd::showJournalNotice(const QString& text, const QString& toolTip) {
    m_journalText = text;
    if (text.isEmpty()) {
        m_journalNotice->hide();
        m_journalNotice->clear();
        m_journalNotice->setToolTip(QString());
        return;
    }
    m_journalNotice->setToolTip(toolTip.isEmpty() ? text : toolTip);
    placeJournalNotice();
    m_journalNotice->show();
}

void VirtualLcd::placeJournalNotice() {
    // The journal's notice shares its row with the outputs' line: while that shows, the notice
    // ends short of it (its whole text stays in the tool tip).
    QRect place = m_journalNotice->geometry();
    const int right =
        m_outputsNotice->isVisibleTo(this) ? m_outputsNotice->geometry().left() - 8 : kWidth - 4;
    place.setRight(right);
    m_journalNotice->setGeometry(place);
    if (!m_journalText.isEmpty()) {
        const QFontMetrics metrics(m_journalNotice->font());
        m_journalNotice->setText(
            metrics.elidedText(m_journalText, Qt::ElideMiddle, m_journalNotice->width()));
    }
}

bool VirtualLcd::isShown(LcdElement element) const {
    return m_state.isLit(element);
}

QString VirtualLcd::digitText(int index) const {
    if (index < 0 || index > 3) {
        return {};
    }
    const std::string_view d = m_state.digits[static_cast<std::size_t>(index)].view();
    return QString::fromLatin1(d.data(), static_cast<qsizetype>(d.size()));
}

QString VirtualLcd::modeCaption() const {
    const std::string_view c = m_state.modeCaption.view();
    return QString::fromLatin1(c.data(), static_cast<qsizetype>(c.size()));
}

QString VirtualLcd::timeText() const {
    const std::string_view t = m_state.timeText.view();
    return QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size()));
}

void VirtualLcd::noteConversionFailure(const QString& message) {
    ++m_failedFrames;
    m_failureNotice->setText(m_failedFrames == 1 ? tr("1 bad frame")
                                                 : tr("%1 bad frames").arg(m_failedFrames));
    m_failureNotice->setToolTip(tr("last bad frame: %1").arg(message));
    m_failureNotice->show();
    m_failureFade->start();
}

bool VirtualLcd::itemShown(const LcdState& state, int item, char* c) {
    *c = 0;
    if (item < kMinusItem) {
        *c = shownChar(state.digits[static_cast<std::size_t>(item)].view());
        return SevenSegment::segmentsFor(*c) != 0;
    }
    if (item == kMinusItem) {
        return state.minus;
    }
    if (item < kElementItem) {
        return state.point == item - kPointItem + 1;
    }
    return state.isLit(static_cast<LcdElement>(item - kElementItem));
}

std::uint64_t VirtualLcd::spriteKey(int item, char c) const {
    std::uint64_t key = static_cast<std::uint64_t>(item) << 40 | static_cast<unsigned char>(c);
    if (item == kElementItem + static_cast<int>(LcdElement::LcdDc1)) {
        int shift = 8;
        for (char ch : m_state.modeCaption.view()) {
            key |= static_cast<std::uint64_t>(static_cast<unsigned char>(ch)) << shift;
            shift += 8;
        }
    }
    return key;
}

const QImage& VirtualLcd::sprite(int item, char c, qreal dpr) {
    const std::uint64_t key = spriteKey(item, c);
    auto found = m_sprites.find(key);
    if (found != m_sprites.end()) {
        return found->second;
    }
    const QRect place = itemRects()[static_cast<std::size_t>(item)];
    QImage image(place.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.translate(-place.topLeft());
        preparePainter(p);
        drawItem(p, item, c, modeCaption());
    }
    return m_sprites.emplace(key, std::move(image)).first->second;
}

void VirtualLcd::apply(const LcdState& state) {
    // Repaint only the items whose look changed.
    const auto& rects = itemRects();
    const bool captionChanged = !(state.modeCaption == m_state.modeCaption);
    for (int i = 0; i < kItemCount; ++i) {
        char before = 0;
        char after = 0;
        const bool wasShown = itemShown(m_state, i, &before);
        const bool isShownNow = itemShown(state, i, &after);
        bool changed = wasShown != isShownNow || (isShownNow && before != after);
        if (i == kElementItem + static_cast<int>(LcdElement::LcdDc1) && isShownNow &&
            captionChanged) {
            changed = true;
        }
        if (changed) {
            update(rects[static_cast<std::size_t>(i)]);
        }
    }
    m_state = state;
}

void VirtualLcd::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const qreal dpr = devicePixelRatioF();
    const bool normalSize = width() == kWidth && height() == kHeight;
    if (!normalSize) {
        // Any other size draws the vectors directly, crisp at that size.
        p.fillRect(rect(), kCream);
        qDrawShadePanel(&p, rect(), palette(), true, 1);
        p.scale(width() / qreal(kWidth), height() / qreal(kHeight));
        preparePainter(p);
        for (int i = 0; i < kItemCount; ++i) {
            char c = 0;
            if (itemShown(m_state, i, &c)) {
                drawItem(p, i, c, modeCaption());
            }
        }
        return;
    }
    if (m_background.isNull() || m_background.devicePixelRatio() != dpr) {
        m_sprites.clear();
        m_background = QImage(size() * dpr, QImage::Format_RGB32);
        m_background.setDevicePixelRatio(dpr);
        m_background.fill(kCream);
        QPainter b(&m_background);
        qDrawShadePanel(&b, rect(), palette(), true, 1);
    }
    const QRect dirty = event->rect();
    p.drawImage(
        QRectF(dirty), m_background,
        QRectF(dirty.x() * dpr, dirty.y() * dpr, dirty.width() * dpr, dirty.height() * dpr));
    const auto& rects = itemRects();
    for (int i = 0; i < kItemCount; ++i) {
        char c = 0;
        const QRect& place = rects[static_cast<std::size_t>(i)];
        if (place.intersects(dirty) && itemShown(m_state, i, &c)) {
            p.drawImage(place.topLeft(), sprite(i, c, dpr));
        }
    }
}

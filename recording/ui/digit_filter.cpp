#include "recording/ui/digit_filter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QValidator>

#include "recording/ui/message_boxes.h"

namespace {

// Refuses every edit that would leave a non-digit in the line. QLineEdit checks it on typing,
// pasting and dropping (not on setText) and undoes a refused change before any change signal,
// then emits inputRejected.
class DigitValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return isDigitText(input) ? Acceptable : Invalid;
    }
};

}  // namespace

bool digitFilterPasses(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return true;  // a shortcut, not a character
    }
    switch (key.key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Insert:
            return true;
        default:
            break;
    }
    const QString text = key.text();
    if (text.isEmpty()) {
        return true;  // Shift alone, function keys, ...
    }
    for (const QChar c : text) {
        if (c.isPrint() && (c < QLatin1Char('0') || c > QLatin1Char('9'))) {
            return false;
        }
    }
    return true;
}

bool isDigitText(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

void installDigitFilter(QLineEdit* edit, std::function<void(QWidget*)> warn) {
    auto* filter = new DigitFilter(edit, std::move(warn));
    edit->installEventFilter(filter);
    edit->setValidator(new DigitValidator(edit));
    // A refused paste or drop: the validator has kept the text; say why once the edit is done.
    QObject::connect(edit, &QLineEdit::inputRejected, filter,
                     [filter] { QTimer::singleShot(0, filter, &DigitFilter::warn); });
}

DigitFilter::DigitFilter(QLineEdit* edit, std::function<void(QWidget*)> warn)
    : QObject(edit), m_edit(edit), m_warn(std::move(warn)) {}

void DigitFilter::warn() {
    if (m_warning) {
        return;
    }
    m_warning = true;
    if (m_warn) {
        m_warn(m_edit);
    } else {
        showDigitWarningBox(m_edit);
    }
    m_warning = false;
}

bool DigitFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || watched != m_edit) {
        return QObject::eventFilter(watched, event);
    }
    if (digitFilterPasses(*static_cast<QKeyEvent*>(event))) {
        return false;
    }
    warn();
    return true;  // the key is discarded
}

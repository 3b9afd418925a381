#include "recording/ui/digit_filter.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "recording/recorder.h"
#include "recording/ui/message_boxes.h"

void installDigitFilter(QLineEdit* edit) {
    edit->installEventFilter(new DigitFilter(edit));
}

bool DigitFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    const QString text = static_cast<QKeyEvent*>(event)->text();
    if (text.isEmpty()) {
        return false;
    }
    const QChar c = text.front();
    const bool passes = c.unicode() < 0x80 && RecordSITimeKeyPress(static_cast<char>(c.unicode()));
    if (!passes) {
        showDigitWarningBox(qobject_cast<QWidget*>(watched));
        return true;
    }
    return false;
}

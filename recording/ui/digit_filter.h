#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;
class QLineEdit;
class QString;
class QWidget;

// What the digit filter (RecordSITimeKeyPress) does with a key press, decided by the key and not
// by its text: on X11 Tab, Backtab and Delete carry control characters, yet they must move the
// focus and delete as in any edit. Navigation and editing keys (Tab, Backtab, Backspace, Delete,
// arrows, Home, End, Page Up/Down, Enter, Escape, Insert) and shortcuts (Ctrl, Alt or Meta held:
// Ctrl+C/V/X/A/Z, ...) pass, as do keys that type nothing. A printable character other than
// "0"-"9" is refused. Never fails.
bool digitFilterPasses(const QKeyEvent& key);

// Whether a text may stand in a digit-filtered edit: empty, or "0"-"9" only.
bool isDigitText(const QString& text);

// Installs the digit filter on a numeric edit (RecordSITime, TimeH, TimeM, TimeS, TimeInt and
// the chart's Maxrecord): a refused key is discarded with the warning "Please input number 0-9"
// ("Cancel"); a paste or drop that would leave anything but digits in the edit is refused with
// the same warning, and the edit keeps its text, so such a text never reaches its handler.
// warn shows the warning (the modal box when empty). The filter belongs to the edit.
void installDigitFilter(QLineEdit* edit, std::function<void(QWidget*)> warn = {});

class DigitFilter : public QObject {
    Q_OBJECT

public:
    DigitFilter(QLineEdit* edit, std::function<void(QWidget*)> warn);

    // Shows the warning (never two at once).
    void warn();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_edit;
    std::function<void(QWidget*)> m_warn;
    bool m_warning = false;  // the box is up: a second refusal meanwhile shows no second box
};

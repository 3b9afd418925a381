#pragma once

#include <QObject>

class QLineEdit;

// RecordSITimeKeyPress on a numeric edit: a typed character other than "0"-"9" or backspace is
// refused with the warning "Please input number 0-9" ("Cancel") and never reaches the edit.
// Keys without a character (arrows, Delete) pass. The filter belongs to the edit.
void installDigitFilter(QLineEdit* edit);

class DigitFilter : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

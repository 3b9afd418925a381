#pragma once

#include <QString>
#include <string>
#include <vector>

class QWidget;

// The modal boxes of the recording controls, with their exact texts and buttons. Each returns
// when the user has closed the box.

// The title of the program's boxes: the window's title (the program's name), or the program's
// name when the parent has none.
QString programBoxTitle(QWidget* parent);

// An information box with "OK" (" Record deleted ", "Input error!").
void showInformationBox(QWidget* parent, const QString& text);
// The digit filter's warning with a single "Cancel" button.
void showDigitWarningBox(QWidget* parent);
// A plain box without icon and with "OK" (the save results); reason, when not empty, is its
// informative text (why a save failed).
void showPlainBox(QWidget* parent, const QString& text, const QString& reason = {});
// The error box of a failed load: caption "Error", error icon, "OK", the reason as its
// informative text.
void showLoadErrorBox(QWidget* parent, const QString& reason = {});
// The application's error box for a failed whole-number conversion: error icon, "OK".
void showConversionErrorBox(QWidget* parent, const QString& text);

// Shows the boxes an edit handler asks for, in order: information boxes, except that the last
// one is the conversion error box when conversionFailed is set.
void showEditMessages(QWidget* parent, const std::vector<std::string>& messages,
                      bool conversionFailed);

#include "recording/ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include "recording/recorder.h"

// Boxes carry the program's title, as the application's own boxes did. A dialog's own title
// (the preview's "Print Preview") is not the program's: its owner's window is asked.
QString programBoxTitle(QWidget* parent) {
    for (QWidget* w = parent; w != nullptr; w = w->parentWidget()) {
        QWidget* window = w->window();
        if (window->parentWidget() == nullptr && !window->windowTitle().isEmpty()) {
            return window->windowTitle();
        }
        w = window;
    }
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Halvern Interface Program") : name;
}

namespace {

QString boxTitle(QWidget* parent) {
    return programBoxTitle(parent);
}

void runBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
            QMessageBox::StandardButton button, const QString& reason = {}) {
    QMessageBox box(icon, title, text, button, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setInformativeText(reason);
    box.exec();
}

}  // namespace

void showInformationBox(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::Information, boxTitle(parent), text, QMessageBox::Ok);
}

void showDigitWarningBox(QWidget* parent) {
    runBox(parent, QMessageBox::Warning, boxTitle(parent),
           QString::fromLatin1(kDigitOnlyMessage.data(),
                               static_cast<qsizetype>(kDigitOnlyMessage.size())),
           QMessageBox::Cancel);
}

void showPlainBox(QWidget* parent, const QString& text, const QString& reason) {
    runBox(parent, QMessageBox::NoIcon, boxTitle(parent), text, QMessageBox::Ok, reason);
}

void showLoadErrorBox(QWidget* parent, const QString& reason) {
    runBox(parent, QMessageBox::Critical, QStringLiteral("Error"),
           QStringLiteral("Failed to Load File!"), QMessageBox::Ok, reason);
}

void showConversionErrorBox(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::Critical, boxTitle(parent), text, QMessageBox::Ok);
}

void showEditMessages(QWidget* parent, const std::vector<std::string>& messages,
                      bool conversionFailed) {
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const QString text = QString::fromLocal8Bit(messages[i]);
        if (conversionFailed && i + 1 == messages.size()) {
            showConversionErrorBox(parent, text);
        } else {
            showInformationBox(parent, text);
        }
    }
}

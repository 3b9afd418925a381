#include "recording/ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include "recording/recorder.h"

namespace {

// Boxes carry the program's title, as the application's own boxes did.
QString boxTitle(QWidget* parent) {
    if (parent != nullptr && !parent->window()->windowTitle().isEmpty()) {
        return parent->window()->windowTitle();
    }
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Halvern Interface Program") : name;
}

void runBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
            QMessageBox::StandardButton button) {
    QMessageBox box(icon, title, text, button, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
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

void showPlainBox(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::NoIcon, boxTitle(parent), text, QMessageBox::Ok);
}

void showLoadErrorBox(QWidget* parent) {
    runBox(parent, QMessageBox::Critical, QStringLiteral("Error"),
           QStringLiteral("Failed to Load File!"), QMessageBox::Ok);
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

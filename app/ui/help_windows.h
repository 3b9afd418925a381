#pragma once

#include <QDialog>
#include <QString>

#include "transport/device_roots.h"

class QLabel;
class QPlainTextEdit;
class QTableWidget;
class QWidget;

// The "Help" menu's windows: the program's about box, the list of its keyboard shortcuts and
// the device check.

// The address of the project's home page.
QString projectAddress();
// The about box's text: the program, its version, its licence and the project's address (HTML).
QString aboutText();
// Shows the about box over parent (modal; returns when it is closed).
void showAboutBox(QWidget* parent);

// "Keyboard shortcuts": every shortcut of the window's actions (read from window when shown, so
// the list always matches the keys that work) and the keys of the grid and the dialogs. Not
// modal; Escape closes it.
class KeyboardShortcutsDialog : public QDialog {
    Q_OBJECT
public:
    explicit KeyboardShortcutsDialog(QWidget* window);
    QTableWidget* table() const { return m_table; }
    // Reads the window's actions again.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* m_window;
    QTableWidget* m_table;
};

// "Device check": the findings of `halvern doctor` on the window's device roots, each problem
// with its fix; "Check again" runs the check afresh. Not modal; Escape closes it.
class DeviceCheckDialog : public QDialog {
    Q_OBJECT
public:
    DeviceCheckDialog(const DeviceRoots& roots, QWidget* parent);
    // Runs the check again on roots.
    void check(const DeviceRoots& roots);
    // "All is well." or what to do, over the findings.
    QLabel* summary() const { return m_summary; }
    QPlainTextEdit* findings() const { return m_findings; }

private:
    DeviceRoots m_roots;
    QLabel* m_summary;
    QPlainTextEdit* m_findings;
};

#pragma once

#include <QDialog>
#include <QString>

class QTableWidget;
class QWidget;

// The "Help" menu's windows: the program's about box and the list of its keyboard shortcuts.

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

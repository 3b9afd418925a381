#include "app/ui/help_windows.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <utility>
#include <vector>

#include "app/cli/command_line.h"
#include "app/doctor/device_check.h"

#ifndef HALVERN_HOMEPAGE
#define HALVERN_HOMEPAGE ""
#endif

namespace {

const char* const kProgramName = "Halvern Interface Program";

// Keys that belong to no action: the grid's and the dialogs'.
const std::pair<const char*, const char*> kOtherKeys[] = {
    {"Tab / Shift+Tab",
     "Next / previous cell of the table; past its last (first) cell, the next "
     "(previous) control"},
    {"Alt+letter", "Open the menu whose underlined letter it is"},
    {"Escape", "Close a dialog or the \"HID devices\" window"},
};

// The menu path of an action ("Help > Keyboard shortcuts"), or its own text.
QString actionName(QAction* action) {
    QString text = action->text();
    text.remove(QLatin1Char('&'));
    for (QObject* o = action->parent(); o != nullptr; o = o->parent()) {
        if (auto* menu = qobject_cast<QMenu*>(o)) {
            QString title = menu->title();
            title.remove(QLatin1Char('&'));
            return title + QStringLiteral(" > ") + text;
        }
    }
    return text;
}

}  // namespace

QString projectAddress() {
    return QStringLiteral(HALVERN_HOMEPAGE);
}

QString aboutText() {
    const QString address = projectAddress();
    QString text =
        QStringLiteral("<h3>%1</h3><p>Version %2</p>")
            .arg(QString::fromLatin1(kProgramName), QString::fromLatin1(programVersion()));
    text += QStringLiteral(
        "<p>The PC program of a 4000-count handheld digital multimeter.</p>"
        "<p>Licence: GNU General Public License, version 3 or (at your option) any later "
        "version (GPL-3.0-or-later). It comes with ABSOLUTELY NO WARRANTY.</p>");
    if (!address.isEmpty()) {
        text += QStringLiteral("<p><a href=\"%1\">%1</a></p>").arg(address.toHtmlEscaped());
    }
    return text;
}

void showAboutBox(QWidget* parent) {
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setWindowTitle(QStringLiteral("About %1").arg(QString::fromLatin1(kProgramName)));
    box.setTextFormat(Qt::RichText);
    box.setText(aboutText());
    box.setTextInteractionFlags(Qt::TextBrowserInteraction);
    box.setIconPixmap(parent != nullptr ? parent->windowIcon().pixmap(64) : QPixmap());
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

KeyboardShortcutsDialog::KeyboardShortcutsDialog(QWidget* window)
    : QDialog(window), m_window(window), m_table(new QTableWidget(0, 2, this)) {
    setObjectName(QStringLiteral("KeyboardShortcuts"));
    setWindowTitle(QStringLiteral("Keyboard shortcuts"));
    m_table->setObjectName(QStringLiteral("ShortcutTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Keys"), QStringLiteral("Does")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(true);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(560, 360);
}

void KeyboardShortcutsDialog::showEvent(QShowEvent* event) {
    refresh();
    QDialog::showEvent(event);
}

void KeyboardShortcutsDialog::refresh() {
    std::vector<std::pair<QString, QString>> rows;
    std::vector<QAction*> actions;
    const auto collect = [&actions](const QList<QAction*>& list) {
        for (QAction* a : list) {
            if (a->menu() == nullptr && !a->shortcut().isEmpty()) {
                actions.push_back(a);
            }
        }
    };
    collect(m_window->actions());
    for (QMenuBar* bar : m_window->findChildren<QMenuBar*>()) {
        for (QAction* entry : bar->actions()) {
            if (entry->isVisible() && entry->menu() != nullptr) {
                collect(entry->menu()->actions());
            }
        }
    }
    for (QAction* a : actions) {
        rows.emplace_back(a->shortcut().toString(QKeySequence::NativeText), actionName(a));
    }
    for (const auto& [keys, what] : kOtherKeys) {
        rows.emplace_back(QString::fromLatin1(keys), QString::fromLatin1(what));
    }
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        m_table->setItem(i, 0, new QTableWidgetItem(rows[static_cast<std::size_t>(i)].first));
        m_table->setItem(i, 1, new QTableWidgetItem(rows[static_cast<std::size_t>(i)].second));
    }
    m_table->resizeRowsToContents();
}

DeviceCheckDialog::DeviceCheckDialog(const DeviceRoots& roots, QWidget* parent)
    : QDialog(parent), m_summary(new QLabel(this)), m_findings(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("DeviceCheck"));
    setWindowTitle(QStringLiteral("Device check"));
    m_summary->setObjectName(QStringLiteral("DeviceCheckSummary"));
    m_summary->setWordWrap(true);
    m_findings->setObjectName(QStringLiteral("DeviceCheckFindings"));
    m_findings->setReadOnly(true);
    m_findings->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_findings->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* again =
        buttons->addButton(QStringLiteral("Check &again"), QDialogButtonBox::ActionRole);
    again->setObjectName(QStringLiteral("CheckAgain"));
    connect(again, &QPushButton::clicked, this, [this] { check(m_roots); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_findings, 1);
    layout->addWidget(buttons);
    resize(640, 360);
    check(roots);
}

void DeviceCheckDialog::check(const DeviceRoots& roots) {
    m_roots = roots;
    DeviceCheckRoots checkRoots;
    checkRoots.sysfs = roots.sysfs;
    checkRoots.dev = roots.dev;
    const auto access = createNodeAccess();
    const std::vector<DeviceFinding> found = checkDevices(checkRoots, *access);
    m_summary->setText(anyProblem(found)
                           ? QStringLiteral("Something stands in the way: each problem below "
                                            "comes with its fix.")
                           : QStringLiteral("All is well."));
    m_findings->setPlainText(QString::fromStdString(formatFindings(found)));
}

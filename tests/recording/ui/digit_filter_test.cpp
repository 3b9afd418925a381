#include "recording/ui/digit_filter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include "meter/clock.h"
#include "recording/ui/recall_time_dialog.h"
#include "recording/ui/recording_controls.h"
#include "tests/support/ui/modal_driver.h"

namespace {

// A key as X11 delivers it: Tab, Backtab and Delete carry control characters.
struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool passes;
};

std::vector<KeyCase> keyCases() {
    return {
        {"digit", Qt::Key_0, Qt::NoModifier, QStringLiteral("0"), true},
        {"letter", Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), false},
        {"minus", Qt::Key_Minus, Qt::NoModifier, QStringLiteral("-"), false},
        {"blank", Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), false},
        {"non-Latin digit", Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0663)), false},
        {"tab", Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"), true},
        {"shift tab", Qt::Key_Backtab, Qt::ShiftModifier, QStringLiteral("\t"), true},
        {"delete", Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)), true},
        {"backspace", Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"), true},
        {"left", Qt::Key_Left, Qt::NoModifier, QString(), true},
        {"home", Qt::Key_Home, Qt::NoModifier, QString(), true},
        {"end", Qt::Key_End, Qt::NoModifier, QString(), true},
        {"enter", Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true},
        {"escape", Qt::Key_Escape, Qt::NoModifier, QString(QChar(0x1b)), true},
        {"copy", Qt::Key_C, Qt::ControlModifier, QString(QChar(0x03)), true},
        {"select all", Qt::Key_A, Qt::ControlModifier, QString(QChar(0x01)), true},
        {"undo", Qt::Key_Z, Qt::ControlModifier, QString(QChar(0x1a)), true},
        {"shift alone", Qt::Key_Shift, Qt::ShiftModifier, QString(), true},
    };
}

TEST(DigitFilterKeys, DecidesByKeyNotByText) {
    for (const KeyCase& c : keyCases()) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.text);
        EXPECT_EQ(digitFilterPasses(event), c.passes) << c.name;
    }
}

// The five edits of the recording rules, as the user meets them.
class DigitEdits : public ::testing::Test {
protected:
    void SetUp() override {
        controls.populateFunctionBoard(&board);
        controls.populateRecordMenu(&menu);
        window.show();
        RecallTimeDialog* recall = controls.recallTimeDialog();
        recall->show();
        edits = {{controls.recordSITime(), RecorderEdit::RecordSITime},
                 {recall->edit(RecorderEdit::TimeH), RecorderEdit::TimeH},
                 {recall->edit(RecorderEdit::TimeM), RecorderEdit::TimeM},
                 {recall->edit(RecorderEdit::TimeS), RecorderEdit::TimeS},
                 {recall->edit(RecorderEdit::TimeInt), RecorderEdit::TimeInt}};
        QCoreApplication::processEvents();
    }

    TableStore table;
    FixedClock clock{LocalDateTime{2026, 12, 9, 12, 4, 31}};
    Recorder recorder{table, clock};
    QWidget window;
    QGroupBox board{QStringLiteral("Function board"), &window};
    QMenu menu;
    RecordingControls controls{table, recorder, &window};
    std::vector<std::pair<QLineEdit*, RecorderEdit>> edits;
};

TEST_F(DigitEdits, EditingKeysPassAndOnlyPrintableNonDigitsGetTheBox) {
    for (const auto& [edit, which] : edits) {
        const std::string name = edit->objectName().toStdString();
        for (const KeyCase& c : keyCases()) {
            // a valid start time whatever the key does (an empty one would be refused)
            edit->setText(QStringLiteral("10"));
            edit->setFocus();
            edit->setCursorPosition(0);
            QString box;
            ModalDriver driver;
            if (!c.passes) {
                driver.then(ModalDriver::closeBox(&box));
            }
            const QString before = edit->text();
            QTest::sendKeyEvent(QTest::Press, edit, c.key, c.text, c.modifiers);
            QTest::sendKeyEvent(QTest::Release, edit, c.key, c.text, c.modifiers);
            QCoreApplication::processEvents();
            EXPECT_TRUE(driver.unexpected().isEmpty()) << name << ": " << c.name;
            if (!c.passes) {
                EXPECT_EQ(driver.pending(), 0) << name << ": " << c.name;
                EXPECT_EQ(box, "Please input number 0-9") << name << ": " << c.name;
                EXPECT_EQ(edit->text(), before) << name << ": " << c.name;
            }
        }
        // Delete deletes forward.
        edit->setText(QStringLiteral("12"));
        edit->setFocus();
        edit->setCursorPosition(0);
        ModalDriver none;
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_Delete, QString(QChar(0x7f)),
                            Qt::NoModifier);
        EXPECT_EQ(edit->text(), "2") << name;
        EXPECT_EQ(recorder.editText(which), "2") << name;
        EXPECT_TRUE(none.unexpected().isEmpty()) << name;
    }
}

TEST_F(DigitEdits, TabLeavesTheEdit) {
    QLineEdit* edit = controls.recallTimeDialog()->edit(RecorderEdit::TimeH);
    QApplication::setActiveWindow(controls.recallTimeDialog());
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    ModalDriver none;
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_Tab, QStringLiteral("\t"), Qt::NoModifier);
    QCoreApplication::processEvents();
    EXPECT_FALSE(edit->hasFocus());
    EXPECT_TRUE(none.unexpected().isEmpty());
}

TEST_F(DigitEdits, APasteThatIsNotAWholeNumberIsRefusedWithTheBox) {
    for (const auto& [edit, which] : edits) {
        const std::string name = edit->objectName().toStdString();
        edit->setText(QStringLiteral("5"));
        const std::string kept = recorder.editText(which);
        for (const char* pasted : {"12a", "-", "+3", " 4", "1.5"}) {
            QApplication::clipboard()->setText(QString::fromLatin1(pasted));
            edit->setFocus();
            edit->selectAll();
            QString box;
            ModalDriver driver;
            driver.then(ModalDriver::closeBox(&box));
            edit->paste();
            QTest::qWait(20);
            EXPECT_EQ(driver.pending(), 0) << name << " " << pasted;
            EXPECT_EQ(box, "Please input number 0-9") << name << " " << pasted;
            EXPECT_EQ(edit->text(), "5") << name << " " << pasted;
            EXPECT_EQ(recorder.editText(which), kept) << name << " " << pasted;
        }
        QApplication::clipboard()->setText(QStringLiteral("12"));
        edit->selectAll();
        ModalDriver none;
        edit->paste();
        QTest::qWait(20);
        EXPECT_TRUE(none.unexpected().isEmpty()) << name;
        EXPECT_EQ(recorder.editText(which), "12") << name;
    }
}

}  // namespace

// The window's journal: live sessions are never offered, crashed ones are offered once the
// window is up with their four answers, and a journal that cannot be written shows a notice.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/ui/main_window.h"
#include "lcd/ui/virtual_lcd.h"
#include "recording/data_files.h"
#include "recording/journal.h"
#include "recording/ui/recording_room.h"
#include "recording/ui/recovery_offer.h"
#include "tests/support/ui/modal_driver.h"
#include "tests/support/frames.h"

namespace {

// The journal folder of the windows a test makes: its own, gone afterwards.
struct JournalHome : ::testing::Test {
    QTemporaryDir state;
    std::string previous;
    void SetUp() override {
        if (const char* p = std::getenv("XDG_STATE_HOME")) {
            previous = p;
        }
        ::setenv("XDG_STATE_HOME", state.path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override { ::setenv("XDG_STATE_HOME", previous.c_str(), 1); }
    std::string folder() const { return defaultJournalFolder(); }

    static void record(TFCOMM& window, int rows) {
        for (int i = 0; i < rows; ++i) {
            window.pipeline().receive(meterFrameBytes(i % 2 ? "00012350010" : "00012340010"));
        }
        ASSERT_TRUE(window.recording().journal().flush());
    }
    // A session that ended without cleaning up, as a killed program leaves it.
    void crashedSession(int rows) {
        TableStore t;
        for (int i = 0; i < rows; ++i) {
            RowData r;
            r.no = i + 1;
            r.texts = {"10:00:00", "DCV", "1.234", "V", "4 V", "Auto"};
            r.stamp = WallTime{1'765'000'000'000 + i * 1000, 3600};
            t.append(r);
        }
        JournalSink j(folder(), JournalOrigin{"serial", "/dev/ttyS0", {}});
        for (std::size_t r = 0; r < t.rowCount(); ++r) {
            j.rowRecorded(t, r);
        }
        ASSERT_TRUE(j.flush());
    }
    static QAbstractButton* button(QMessageBox* box, const char* name) {
        for (QAbstractButton* b : box->buttons()) {
            if (b->objectName() == QLatin1String(name)) {
                return b;
            }
        }
        return nullptr;
    }
};

TEST_F(JournalHome, TwoLiveWindowsAreNeverOfferedAndACrashedOneIs) {
    auto first = std::make_unique<TFCOMM>();
    TFCOMM second;
    record(*first, 2);
    record(second, 3);
    TFCOMM third;
    EXPECT_EQ(third.offerRecovery(folder()), 0);

    first.reset();  // ends without its clean end: as a crash leaves it
    ASSERT_EQ(third.offerRecovery(folder()), 1);
    QMessageBox* box = third.recoveryOffer()->boxes().front();
    EXPECT_TRUE(box->text().startsWith(
        QStringLiteral("The last session ended unexpectedly. 2 readings recorded from ")))
        << box->text().toStdString();
    EXPECT_TRUE(box->text().endsWith(QStringLiteral(" were not saved.")));
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_TRUE(box->isVisible());
    // Offered in one window, it is not offered in another meanwhile.
    TFCOMM fourth;
    EXPECT_EQ(fourth.offerRecovery(folder()), 0);
}

TEST_F(JournalHome, EachAnswerOfTheOffer) {
    struct Case {
        const char* what;
        const char* button;
        std::size_t rowsInTable;
        bool stillOffered;
    };
    const Case cases[] = {
        {"Later keeps it for the next start", "later", 0, true},
        {"Discard drops it", "discard", 0, false},
        {"Restore puts the rows in the table, unsaved", "restore", 4, false},
        {"Save as writes them to a file", "saveAs", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        crashedSession(4);
        QTemporaryDir files;
        const QString saved = files.filePath(QStringLiteral("recovered.xml"));
        {
            TFCOMM window;
            window.show();
            ASSERT_EQ(window.offerRecovery(folder()), 1);
            QMessageBox* box = window.recoveryOffer()->boxes().front();
            ModalDriver driver;
            if (QLatin1String(c.button) == QLatin1String("saveAs")) {
                driver.then(ModalDriver::chooseFile(saved));
            }
            button(box, c.button)->click();
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return window.recoveryOffer()->boxes().empty(); }, 5000));
            EXPECT_EQ(driver.pending(), 0);
            EXPECT_EQ(window.recording().table().rowCount(), c.rowsInTable);
            EXPECT_EQ(window.recording().hasUnsavedRows(), c.rowsInTable > 0);
            if (c.rowsInTable > 0) {
                EXPECT_EQ(window.recording().table().stamp(3).msSinceEpoch,
                          1'765'000'000'000 + 3000);
                // Restored rows are this session's now: in its journal.
                ASSERT_TRUE(window.recording().journal().flush());
                EXPECT_TRUE(std::filesystem::exists(window.recording().journal().sessionFolder()));
                window.recording().endCleanly();
            }
        }
        if (QLatin1String(c.button) == QLatin1String("saveAs")) {
            TableStore back;
            ASSERT_TRUE(LoadDataFile(saved.toStdString(), back, true).ok);
            EXPECT_EQ(back.rowCount(), 4u);
        }
        std::vector<RecoverableSession> left = findRecoverableSessions(folder());
        EXPECT_EQ(left.size(), c.stillOffered ? 1u : 0u);
        for (RecoverableSession& s : left) {
            s.discard();
        }
    }
}

// A journal folder that cannot be made: the LCD panel says where and why, recording goes on,
// and the notice goes once the folder can be made.
TEST_F(JournalHome, AJournalThatCannotBeWrittenShowsANoticeAndRecordingGoesOn) {
    const QString blocked = state.filePath(QStringLiteral("halvern"));
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    TFCOMM window;
    window.show();
    for (int i = 0; i < 3; ++i) {
        window.pipeline().receive(meterFrameBytes("00012340010"));
    }
    QLabel* notice = window.lcd()->journalNotice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return notice->isVisible(); }, 5000));
    EXPECT_TRUE(notice->toolTip().contains(blocked)) << notice->toolTip().toStdString();
    EXPECT_TRUE(notice->toolTip().contains(QStringLiteral("Not a directory")));
    EXPECT_TRUE(notice->toolTip().contains(QStringLiteral("not protected")));
    EXPECT_EQ(window.recording().table().rowCount(), 3u);

    QFile::remove(blocked);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !notice->isVisible(); }, 5000));
    ASSERT_TRUE(window.recording().journal().flush());
    window.recording().endCleanly();
}

}  // namespace

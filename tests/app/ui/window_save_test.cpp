// Saving ten million rows beside the window: the meter's frames keep being recorded while the
// writer works, and Cancel leaves the old file as it was.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "app/ui/main_window.h"
#include "recording/data_files.h"
#include "recording/ui/recording_controls.h"
#include "recording/ui/recording_room.h"
#include "tests/support/ui/modal_driver.h"
#include "tests/support/frames.h"

namespace {

constexpr std::size_t kRows = 10'000'000;

void fill(TableStore& table) {
    table.reserve(kRows);
    TableStore::AppendBatch batch(table);
    for (std::size_t r = 0; r < kRows; ++r) {
        RowData row;
        row.no = static_cast<std::int32_t>(r + 1);
        const std::string value = std::to_string(r % 4000);
        row.texts = {"10:32:09", "DCV", value, "V", "4 V", "Auto"};
        row.nval = static_cast<std::int32_t>(r % 4000);
        table.append(row);
    }
}

TEST(WindowSave, TenMillionRowsSaveWhileEveryFrameIsRecorded) {
    QTemporaryDir dir;
    TFCOMM window;
    window.setQuitRequest([] {});
    window.show();
    TableStore& table = window.recording().table();
    fill(table);

    // The meter at the serial line's top rate, one frame every 12 ms, through the event loop
    // the save leaves running.
    int sent = 0;
    qint64 longestGapMs = 0;
    QElapsedTimer sinceLast;
    QTimer meter;
    meter.setInterval(12);
    QObject::connect(&meter, &QTimer::timeout, [&] {
        if (sinceLast.isValid()) {
            longestGapMs = std::max(longestGapMs, sinceLast.elapsed());
        }
        sinceLast.start();
        window.pipeline().receive(meterFrameBytes(sent % 2 ? "00012350010" : "00012340010"));
        ++sent;
    });

    const QString name = dir.filePath(QStringLiteral("big.xml"));
    bool progressShown = false;
    ModalDriver driver;
    driver.then(ModalDriver::chooseFile(name)).then([&progressShown](QWidget* w) {
        progressShown = qobject_cast<QProgressDialog*>(w) != nullptr;  // left to run
    });
    meter.start();
    ASSERT_TRUE(window.recording().controls().saveTableAs());
    meter.stop();
    const int sentDuring = sent;

    EXPECT_TRUE(progressShown);
    EXPECT_GT(sentDuring, 20) << "the save was too quick to show anything";
    // Every frame sent while the writer worked became a row (Repeat is on).
    EXPECT_EQ(table.rowCount(), kRows + static_cast<std::size_t>(sentDuring));
    // Those rows came after the save began: they are still unsaved.
    EXPECT_TRUE(window.recording().hasUnsavedRows());
    std::printf("[ measure  ] %d frames during the save, longest gap between them %lld ms\n",
                sentDuring, static_cast<long long>(longestGapMs));

    TableStore back;
    ASSERT_TRUE(LoadDataFile(name.toStdString(), back, true).ok);
    // The rows of the moment the save began: those recorded while its dialog was open too.
    EXPECT_GE(back.rowCount(), kRows);
    EXPECT_LT(back.rowCount(), table.rowCount());
    EXPECT_EQ(back.text(kRows - 1, Field::Value), std::to_string((kRows - 1) % 4000));
    back = TableStore();

    // Cancel in the progress dialog: the file written before stays as it was.
    const QString kept = dir.filePath(QStringLiteral("kept.txt"));
    {
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old content\r\n");
    }
    ModalDriver cancelling;
    QStringList seen;
    cancelling.then(ModalDriver::chooseFile(kept))
        .then(ModalDriver::closeBox(nullptr))  // "Yes", replace it
        .then([&seen](QWidget* w) {
            seen << QString::fromLatin1(w->metaObject()->className());
            if (auto* progress = qobject_cast<QProgressDialog*>(w)) {
                progress->cancel();  // its Cancel button
            }
        });
    EXPECT_FALSE(window.recording().controls().saveTableAs());
    EXPECT_EQ(cancelling.pending(), 0);
    EXPECT_TRUE(seen.contains(QStringLiteral("QProgressDialog"))) << "the progress came";
    EXPECT_TRUE(cancelling.unexpected().isEmpty())
        << "no box after a cancel: "
        << cancelling.unexpected().join(QLatin1Char(',')).toStdString();
    QFile f(kept);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old content\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no temporary file left";
}

}  // namespace

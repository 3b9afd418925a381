#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "recording/data_files.h"
#include "tests/recording/ui/report_test_support.h"

namespace {

struct ProgramRun {
    int exitCode;
    QString output;
};

// Runs the real program without a display and without choosing a platform for it.
ProgramRun runHalvern(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(HALVERN_BINARY), QStringList{QStringLiteral("report")} + args);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
}

}  // namespace

TEST(ReportCommand, RendersTextAndPacketFilesIntoPdfPages) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"data.xls", "data.xml"}) {
        for (const std::size_t rows : {37u, 38u}) {
            TableStore table;
            appendSampleRows(table, rows);
            const QString in = dir.filePath(QString::fromLatin1(name));
            ASSERT_TRUE(saveTable(table, in.toStdString()).ok);
            const QString out = dir.filePath(QStringLiteral("out.pdf"));
            QFile::remove(out);
            const ProgramRun run = runHalvern({in, out});
            ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
            EXPECT_EQ(pdfPageCount(readFileBytes(out)), rows == 37 ? 1 : 2) << name << rows;
        }
    }
}

TEST(ReportCommand, FailsClearlyOnBadInput) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.pdf"));
    ProgramRun run = runHalvern({dir.filePath(QStringLiteral("missing.txt")), out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.output.contains(QStringLiteral("Failed to Load File!")));

    const QString headerOnly = dir.filePath(QStringLiteral("empty.txt"));
    ASSERT_TRUE(SaveTableText(TableStore(), headerOnly.toStdString()).ok);
    run = runHalvern({headerOnly, out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.output.contains(QStringLiteral("no rows")));
    EXPECT_FALSE(QFile::exists(out));

    EXPECT_EQ(runHalvern({headerOnly}).exitCode, 2);
}

TEST(ReportCommand, ShowsThePagesWrittenOnlyWhenStandardErrorIsATerminal) {
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty()) {
        GTEST_SKIP() << "script (util-linux) is not installed";
    }
    QTemporaryDir dir;
    TableStore table;
    appendSampleRows(table, 37 * 130);  // 130 pages
    const QString in = dir.filePath(QStringLiteral("data.txt"));
    ASSERT_TRUE(saveTable(table, in.toStdString()).ok);
    const QString out = dir.filePath(QStringLiteral("out.pdf"));

    const ProgramRun plain = runHalvern({in, out});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_FALSE(plain.output.contains(QStringLiteral("page ")));

    // The same on a pseudo-terminal, as in a shell.
    QProcess terminal;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    terminal.setProcessEnvironment(env);
    terminal.start(QStringLiteral("script"),
                   {QStringLiteral("-qec"),
                    QStringLiteral("'%1' report '%2' '%3'").arg(HALVERN_BINARY, in, out),
                    QStringLiteral("/dev/null")});
    ASSERT_TRUE(terminal.waitForFinished(30000));
    const QString shown = QString::fromLocal8Bit(terminal.readAll());
    EXPECT_EQ(terminal.exitCode(), 0) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("\rpage 64 of 130"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("\rpage 130 of 130"))) << shown.toStdString();
    EXPECT_EQ(pdfPageCount(readFileBytes(out)), 130);
}

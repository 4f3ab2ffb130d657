// Tessaly's connection log through the main window: what it writes, its rules, and a log file that
// cannot be written or is not a plain file.
#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "ftpclient/window/FileShell.h"
#include "ftpclient/window/TessalyMain.h"
#include "tests/ftpclient/window/MainWindowFixture.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::PyFtpServer;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::writeFile;

using harbel::test::MainWindow;
using harbel::test::RecordingShell;
using harbel::test::setReg;


TEST_F(MainWindow, ConnectionLogWritesRecordsAndKeepsItsRules)
{
    setReg("DELETE LOG ON STARTUP", "0");
    setReg("LOG FILE NAME", "session.txt");
    load();
    form->DisplayMessage("first \"quoted\" line");
    form->DisplayMessage("second");
    EXPECT_EQ(form->logFilePath(), AppFolder::file("log/") + "session.log");
    const QStringList lines = logText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(QRegularExpression(R"(^#\d{4}-\d\d-\d\d \d\d:\d\d:\d\d#,"first ""quoted"" line"$)").match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(form->lstConnectionInfo.Items(), (QStringList{"first \"quoted\" line", "second"}));
    EXPECT_EQ(form->lstConnectionInfo.ListIndex(), 1);
    const int extent = form->lstConnectionInfo.HorizontalExtent();
    form->DisplayMessage("x");
    EXPECT_EQ(form->lstConnectionInfo.HorizontalExtent(), extent);  // the scroll range only grows

    form->ClearLog();
    EXPECT_TRUE(form->lstConnectionInfo.Items().isEmpty());
    EXPECT_EQ(logText().count('\n'), 3);  // Clear Log leaves the file alone

    // The size rule: a file exactly at the limit stays, a longer one goes. Only the program's log
    // files go: anything else kept in the folder stays.
    const qint64 size = QFileInfo(form->logFilePath()).size();
    writeFile(AppFolder::file("log/notes.txt"), "mine");
    form.reset();
    setReg("DELETE LOG IF SIZE EXCEEDS", "True");
    setReg("LOG FILE SIZE", QString::number(size));
    load();
    EXPECT_EQ(QFileInfo(form->logFilePath()).size(), size);
    form.reset();
    setReg("LOG FILE SIZE", QString::number(size - 1));
    load();
    EXPECT_FALSE(QFileInfo::exists(form->logFilePath()));
    EXPECT_EQ(readFile(AppFolder::file("log/notes.txt")), "mine");

    // A "log" that is a link to a folder of the user's: the start-up rule deletes nothing there.
    form.reset();
    QDir(AppFolder::file("log")).removeRecursively();
    const QString users = root + "/my-logs";
    QDir().mkpath(users);
    writeFile(users + "/FTP.log", "the user's own log");
    writeFile(users + "/thesis.txt", "months of work");
    ASSERT_TRUE(QFile::link(users, AppFolder::file("log")));
    setReg("DELETE LOG ON STARTUP", "1");
    load();
    EXPECT_EQ(readFile(users + "/thesis.txt"), "months of work");
    EXPECT_EQ(readFile(users + "/FTP.log"), "the user's own log");
    EXPECT_TRUE(QFileInfo(AppFolder::file("log")).isSymLink());
}

TEST_F(MainWindow, ALogThatCannotBeWrittenIsReportedOnceAndNeverStopsTheCaller)
{
    setReg("DELETE LOG ON STARTUP", "0");
    load();
    QDir().mkpath(form->logFilePath());  // a folder where the file should be
    prompts.answer(MsgAnswer::Ok);
    form->DisplayMessage("one");
    form->DisplayMessage("two");
    EXPECT_EQ(form->lstConnectionInfo.Items(), (QStringList{"one", "two"}));
    ASSERT_EQ(prompts.records().size(), 1);
    EXPECT_EQ(prompts.last().icon, MsgIcon::Critical);
}

TEST_F(MainWindow, ALogThatIsAPipeOrALinkIsNeitherOpenedNorFollowed)
{
    setReg("DELETE LOG ON STARTUP", "0");
    load();
    QDir().mkpath(AppFolder::file("log"));
    // Opening a pipe with no reader would block the window at its first message.
    ASSERT_EQ(::mkfifo(QFile::encodeName(form->logFilePath()).constData(), 0600), 0);
    prompts.answer(MsgAnswer::Ok);
    form->DisplayMessage("one");
    ASSERT_EQ(prompts.records().size(), 1);
    EXPECT_TRUE(prompts.last().text.contains(form->logFilePath())) << prompts.last().text.toStdString();

    // A link may point at any file of the user: the log is not appended there.
    QFile::remove(form->logFilePath());
    const QString elsewhere = root + "/elsewhere.txt";
    writeFile(elsewhere, "old log\n");
    ASSERT_TRUE(QFile::link(elsewhere, form->logFilePath()));
    form->DisplayMessage("two");
    EXPECT_EQ(readFile(elsewhere), "old log\n");
    EXPECT_FALSE(readFile(elsewhere).contains("two"));
    EXPECT_EQ(form->lstConnectionInfo.Items(), (QStringList{"one", "two"}));
}

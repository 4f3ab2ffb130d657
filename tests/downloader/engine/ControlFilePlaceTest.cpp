// A control file's place in a folder others may write to (1777): a link to one of the user's files
// or a file of another user planted there is never written through; the download goes on without
// the control file only when the user says so.

#include "downloader/engine/ControlFile.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/main/frmExist.h"
#include "downloader/window/frmDownload.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace harbel::test {

namespace {

constexpr uid_t kOtherUser = 65534;  // nobody

enum class Plant { LinkToUsersFile, FileOfAnotherUser };

// Plants the thing at control, pointing at or holding victim; false when this run cannot (another
// user's file needs root).
bool plant(Plant what, const QString& control, const QString& victim)
{
    if (what == Plant::LinkToUsersFile)
        return QFile::link(victim, control);
    if (::geteuid() != 0)
        return false;
    writeFile(control, readFile(victim));
    return ::chown(QFile::encodeName(control).constData(), kOtherUser, kOtherUser) == 0;
}

}  // namespace

TEST_F(DownloadRunTest, APlantedControlFileIsNeverWrittenAndTheUserDecidesWhetherToGoOn)
{
    ScriptedHttpServer server;
    server.content = randomBytes(4000);
    folder = testFolder() + "/shared";
    QDir().mkpath(folder);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
    const QString victim = testFolder() + "/victim.txt";

    const struct {
        Plant plant;
        MsgAnswer answer;
    } cases[] = {{Plant::LinkToUsersFile, MsgAnswer::No}, {Plant::LinkToUsersFile, MsgAnswer::Yes},
                 {Plant::FileOfAnotherUser, MsgAnswer::No}, {Plant::FileOfAnotherUser, MsgAnswer::Yes}};
    int n = 0;
    for (const auto& c : cases) {
        const QString name = QString("out%1.bin").arg(++n);
        const QString output = folder + "/" + name;
        const QString control = ControlFile::pathFor(output);
        writeFile(victim, "the user's own file\n");
        writeFile(output, server.content.left(1500));
        if (!plant(c.plant, control, victim)) {
            std::printf("not run as root: a file of another user is not planted\n");
            continue;
        }
        const QByteArray planted = readFile(control);
        prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
        prompts.answer(c.answer);
        frmDownload* job = start(server.url(name), name);
        ASSERT_NE(job, nullptr);
        const bool completed = finish(job);
        SCOPED_TRACE(n);
        const auto asked = prompts.records().last();
        EXPECT_TRUE(asked.text.startsWith(control + " is a link or a file of another user")) << asked.text.toStdString();
        EXPECT_EQ(asked.buttons, MsgButtons::YesNo);
        EXPECT_EQ(completed, c.answer == MsgAnswer::Yes);
        EXPECT_EQ(readFile(output), c.answer == MsgAnswer::Yes ? server.content : server.content.left(1500));
        if (c.answer == MsgAnswer::No) {
            EXPECT_TRUE(job->job().progress().status.contains(control)) << job->job().progress().status.toStdString();
        }
        // Neither followed nor replaced, during the download or at its end.
        EXPECT_EQ(readFile(victim), "the user's own file\n");
        EXPECT_EQ(QFileInfo(control).isSymLink(), c.plant == Plant::LinkToUsersFile);
        EXPECT_EQ(readFile(control), planted);
    }
}

}  // namespace harbel::test

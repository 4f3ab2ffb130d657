// What the command line leaves behind: an application folder only its user can read (an older
// one is narrowed at start), and no write through a link or another user's file planted where a
// download keeps its control file.

#include "common/platform/CRegister.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

struct ChildRun {
    int exitCode = -1;
    QString err;
};

ChildRun runPellanor(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    p.setProcessEnvironment(env);
    p.start(PELLANOR_EXE, args);
    EXPECT_TRUE(p.waitForStarted(10000));
    EXPECT_TRUE(test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 30000));
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
}

void setMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

}  // namespace

TEST(PrivateFiles, ADownloadLeavesAnApplicationFolderOnlyItsUserCanRead)
{
    test::ScriptedHttpServer server;
    server.content = test::randomBytes(5000);
    // What an older version left: everything readable by every user.
    const QString home = qEnvironmentVariable("HARBEL_HOME");
    const QString registry = qEnvironmentVariable("HARBEL_REGISTRY");
    QDir().mkpath(home + "/Profiles/Private");
    writeFile(home + "/Settings.ini", "[Settings]\n");
    writeFile(home + "/Profiles/Private/old.Profile", "[PROFILE]\n");
    writeFile(registry, "Windows Registry Editor Version 5.00\n");
    for (const QString& path : {home, home + "/Profiles", home + "/Profiles/Private"})
        setMode(path, 0755);
    for (const QString& path : {home + "/Settings.ini", home + "/Profiles/Private/old.Profile", registry})
        setMode(path, 0644);

    const ChildRun run = runPellanor({"--download", server.url("f.bin"), "-o", test::testFolder() + "/f.bin"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(test::notPrivate({home, registry}), QStringList());
    EXPECT_TRUE(QFileInfo::exists(home + "/Lang-I/English.ini"));
}

TEST(PrivateFiles, AControlFilePlantedInASharedFolderStopsTheDownloadAndIsNeverWrittenThrough)
{
    // The window's question and a file of another user are tested with the job; here the command
    // line's answer, which --segments (yes to the segment question) does not change.
    test::ScriptedHttpServer server;
    server.content = test::randomBytes(5000);
    const QString shared = test::testFolder() + "/shared";
    QDir().mkpath(shared);
    setMode(shared, 01777);
    const QString victim = test::testFolder() + "/victim.txt";
    writeFile(victim, "the user's own file\n");
    const QString output = shared + "/out.bin";
    writeFile(output, server.content.left(2000));
    ASSERT_TRUE(QFile::link(victim, ControlFile::pathFor(output)));

    const ChildRun run = runPellanor({"--download", server.url("out.bin"), "-o", output, "--resume", "--segments"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(ControlFile::pathFor(output) + " is a link or a file of another user")) << run.err.toStdString();
    EXPECT_EQ(readFile(output), server.content.left(2000));
    EXPECT_EQ(readFile(victim), "the user's own file\n");
    EXPECT_TRUE(QFileInfo(ControlFile::pathFor(output)).isSymLink());
}

TEST(PrivateFiles, TheCommandLineNeverAsksForAKeptPasswordItCannotRead)
{
    const struct {
        const char* stored;
        const char* says;
    } cases[] = {
        // The proxy's password is in a keyring this session has none of.
        {"{kept in the keyring}",
         "The proxy password is kept in the keyring, which cannot be read in this session: Pellanor proxy \"proxy.test\""},
        // It was typed where no keyring ran, and not kept.
        {"{asked at each use}", "The proxy password is not saved, and the command line never asks for it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        for (const auto& [name, value] : {std::pair{"UseProxy", "True"}, {"LoginProxy", "True"}, {"UsePass", "True"},
                                          {"ProxyServer", "proxy.test"}, {"UserID", "amy"}, {"UserPass", c.stored}})
            CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), name, value);
        const ChildRun run = runPellanor({"--download", "http://127.0.0.1:9/f.bin", "-o", test::testFolder() + "/f.bin"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(test::testFolder() + "/f.bin"));
    }
}

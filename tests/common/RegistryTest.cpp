#include "common/platform/CRegister.h"
#include "common/platform/RegistryStore.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {
const QString kPath = QStringLiteral("\\Software\\Korvane\\ZU4.0\\");
}

TEST(Registry, MissingValueGivesDefaultAndWrittenTextReadsBackUnchanged)
{
    CRegister reg;
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kPath, "Timeout", "60"), "60");

    const QStringList values = {
        QStringLiteral("a=b=c"),
        QStringLiteral("[Section] not a key"),
        QStringLiteral("Grüße, naïve café ✓"),
        QStringLiteral("trailing blanks   "),
        QStringLiteral("   leading"),
        QStringLiteral("quote \" and back\\slash \\"),
        QStringLiteral("two\nlines\r\n"),
        QStringLiteral(""),
    };
    for (int i = 0; i < values.size(); ++i) {
        const QString name = QStringLiteral("v%1").arg(i);
        ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kPath, name, values[i]));
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kPath, name, "default"), values[i]) << i;
    }
    // Names may hold the same characters.
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kPath, "na=me [x]", "1"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, kPath, "na=me [x]", ""), "1");
}

TEST(Registry, PathsWithAndWithoutBackslashesReachTheSameKeyAndCaseIsIgnored)
{
    CRegister reg;
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "\\Software\\Korvane\\ZU4.0\\", "Segment", "1"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "Software\\Korvane\\ZU4.0", "Segment", "0"), "1");
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "software\\KORVANE\\zu4.0\\", "SEGMENT", "0"), "1");
    // The two roots are separate.
    EXPECT_EQ(reg.REGGetSetting(HKEY_CURRENT_USER, "Software\\Korvane\\ZU4.0", "Segment", "0"), "0");
    // Only one backslash is dropped at each end.
    EXPECT_EQ(CRegister::fullKey(HKEY_LOCAL_MACHINE, "\\\\a\\\\"), "HKEY_LOCAL_MACHINE\\\\a\\");
}

TEST(Registry, StarNamesTheDefaultValue)
{
    CRegister reg;
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_CURRENT_USER, "Software\\Test", "*", "the default"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_CURRENT_USER, "Software\\Test", "*", ""), "the default");
    EXPECT_TRUE(readFile(RegistryStore::defaultPath()).contains("@=\"the default\""));
    // A value literally named with an empty name is the same default value.
    EXPECT_EQ(reg.REGGetSetting(HKEY_CURRENT_USER, "Software\\Test", "*", "x"),
              reg.REGGetSetting(HKEY_CURRENT_USER, "Software\\Test", "*", "y"));
}

TEST(Registry, ValueWithoutDataGivesDefault)
{
    writeFile(RegistryStore::defaultPath(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n\"NoData\"=\n\"Empty\"=\"\"\n");
    CRegister reg;
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "K", "NoData", "def"), "def");
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "K", "Empty", "def"), "");
}

TEST(Registry, DeleteValueKeyAndListSubkeys)
{
    CRegister reg;
    EXPECT_TRUE(reg.GetAllKeys(HKEY_LOCAL_MACHINE, "Software\\Plugins").isEmpty());
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\A", "Path", "/a"));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\B\\Deep", "Path", "/b"));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "Software\\PluginsOther", "x", "y"));
    EXPECT_EQ(reg.GetAllKeys(HKEY_LOCAL_MACHINE, "\\Software\\Plugins\\"), (QStringList{"A", "B"}));

    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\A", "Path"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\A", "Path", "gone"), "gone");
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\A", "Path"));
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "Software\\Missing", "Path"));

    // A key with subkeys is not removed; a leaf key is.
    EXPECT_FALSE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\B", ""));
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\B\\Deep", ""));
    EXPECT_TRUE(reg.REGDeleteSetting(HKEY_LOCAL_MACHINE, "Software\\Plugins\\A", ""));
    EXPECT_TRUE(reg.GetAllKeys(HKEY_LOCAL_MACHINE, "Software\\Plugins").isEmpty());
}

TEST(Registry, FileCutOffMidWriteStillLoadsWhatItCan)
{
    CRegister reg;
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "one", "1"));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "two", "2"));
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "B", "three", "3"));
    const QByteArray whole = readFile(RegistryStore::defaultPath());
    // Cut at every length: never a crash, never a wrong value; complete lines survive.
    for (qsizetype n = 0; n < whole.size(); ++n) {
        writeFile(RegistryStore::defaultPath(), whole.left(n));
        const QString one = reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "one", "?");
        const QString three = reg.REGGetSetting(HKEY_LOCAL_MACHINE, "B", "three", "?");
        EXPECT_TRUE(one == "1" || one == "?") << n;
        EXPECT_TRUE(three == "3" || three == "?") << n;
        if (whole.left(n).contains("\"one\"=\"1\"")) {
            EXPECT_EQ(one, "1") << n;
        }
    }
    // A damaged header does not hand its values to the key before it.
    writeFile(RegistryStore::defaultPath(), "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n[HKEY_LOCAL_MA\n\"y\"=\"2\"\n");
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "y", "none"), "none");
    // Binary junk is no crash either, and a write after it starts a sound file.
    writeFile(RegistryStore::defaultPath(), QByteArray("\x00\xff[\"=\n\"\\", 7));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), "d");
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "x", "ok"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), "ok");
}

TEST(Registry, AStoreOfManyKeysIsParsedOnceAndEveryChangeIsSeen)
{
    QByteArray text = "Windows Registry Editor Version 5.00\n";
    for (int i = 0; i < 10000; ++i)
        text += "\n[HKEY_LOCAL_MACHINE\\K" + QByteArray::number(i) + "]\n\"a\"=\"" + QByteArray::number(i) + "\"\n\"b\"=\"x\"\n";
    writeFile(RegistryStore::defaultPath(), text);
    CRegister reg;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "K" + QString::number(i * 5), "a", "?"), QString::number(i * 5));
    // Read once and in linear time: every lookup parsing the file again took minutes.
    EXPECT_LT(clock.elapsed(), 5000);
    // Another writer's change is seen at the next lookup, and so is this process's own.
    writeFile(RegistryStore::defaultPath(), text.replace("\"a\"=\"7\"", "\"a\"=\"8\""));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "K7", "a", "?"), "8");
    ASSERT_TRUE(CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, "K7", "a", "9"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "K7", "a", "?"), "9");
}

TEST(Registry, AnExportInUtf16OrWithOtherLineEndsIsReadAndKeptByAChange)
{
    CRegister reg;
    const QString path = RegistryStore::defaultPath();
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"ü1\"\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const QList<QByteArray> files = {utf16, "\xEF\xBB\xBF[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"\xC3\xBC" "1\"\n",
                                     "[HKEY_LOCAL_MACHINE\\A]\r\"x\"=\"\xC3\xBC" "1\"\r"};
    for (const QByteArray& bytes : files) {
        writeFile(path, bytes);
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), QStringLiteral("ü1"));
        ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "y", "2"));
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), QStringLiteral("ü1"));
        EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "y", "d"), "2");
    }
    // A lone surrogate, which the UTF-8 file cannot hold, reads as what a change writes back.
    const QString lone = QStringLiteral("[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"a") + QChar(0xDE00) + QStringLiteral("\"\n");
    writeFile(path, QByteArray("\xFF\xFE").append(reinterpret_cast<const char*>(lone.utf16()), lone.size() * 2));
    // (UTF-8 from Qt writes it as "?").
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), "a?");
    ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "y", "3"));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), "a?");
}

TEST(Registry, AStoreThatCannotBeReadIsNeverReplacedByOneChange)
{
    CRegister reg;
    const QString path = RegistryStore::defaultPath();
    // Far larger than any store of options: not read (every lookup would take it whole), not replaced.
    const QByteArray huge = "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n" + QByteArray(17 * 1024 * 1024, ';') + "\n";
    writeFile(path, huge);
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), "d");
    EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "y", "2"));
    EXPECT_EQ(readFile(path), huge);

    // A pipe in its place would block a read; a folder cannot be read. Neither is replaced.
    QFile::remove(path);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), "d");
    EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "y", "2"));
    EXPECT_FALSE(QFileInfo(path).isFile());
    QFile::remove(path);
    QDir().mkpath(path);
    EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "y", "2"));
    EXPECT_TRUE(QFileInfo(path).isDir());

    // A link to a file is read, but may point at any file of the user: nothing is written through
    // it and the link stays.
    QDir(path).removeRecursively();
    const QString elsewhere = test::testFolder() + "/elsewhere.reg";
    writeFile(elsewhere, "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n");
    ASSERT_TRUE(QFile::link(elsewhere, path));
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "x", "d"), "1");
    EXPECT_FALSE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "A", "y", "2"));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_FALSE(readFile(elsewhere).contains("\"y\"=\"2\"")) << readFile(elsewhere).toStdString();
    EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "A", "y", "d"), "d");
}

// Two programs writing different values at the same time both keep theirs. The writers are two
// copies of this test binary running the helper test below.
TEST(Registry, ConcurrentWritersFromTwoProcessesKeepEveryValue)
{
    const QString self = QCoreApplication::applicationFilePath();
    QList<QProcess*> procs;
    for (int w = 0; w < 2; ++w) {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HARBEL_REGISTRY_PARENT", RegistryStore::defaultPath());
        env.insert("HARBEL_REGISTRY_WRITER", QString::number(w));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(self, {"--gtest_also_run_disabled_tests", "--gtest_filter=RegistryWriter.DISABLED_Writes"});
        procs.append(p);
    }
    for (auto* p : procs) {
        EXPECT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAll().toStdString();
        delete p;
    }
    CRegister reg;
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(reg.REGGetSetting(HKEY_LOCAL_MACHINE, "Race", QStringLiteral("w%1_%2").arg(w).arg(i), "lost"),
                      QString::number(i))
                << w << " " << i;
}

TEST(RegistryWriter, DISABLED_Writes)
{
    const QString who = qEnvironmentVariable("HARBEL_REGISTRY_WRITER");
    if (who.isEmpty())
        GTEST_SKIP() << "helper of ConcurrentWritersFromTwoProcessesKeepEveryValue";
    CRegister reg{RegistryStore(qEnvironmentVariable("HARBEL_REGISTRY_PARENT"))};
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(reg.REGSaveSetting(HKEY_LOCAL_MACHINE, "Race", QStringLiteral("w%1_%2").arg(who).arg(i),
                                       QString::number(i)));
}

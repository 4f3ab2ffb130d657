#include "common/platform/AppFolder.h"
#include "common/platform/AutoStart.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::testFolder;
using harbel::test::writeFile;

TEST(AppFolder, IsCreatedAndSeededWithoutOverwritingTheUsersFiles)
{
    const QString home = testFolder() + "/home";
    EXPECT_EQ(AppFolder::path(), home);
    EXPECT_TRUE(QFileInfo(home + "/Lang-I/English.ini").isFile());
    EXPECT_TRUE(QFileInfo(home + "/Lang-I/English.ini").isWritable());
    EXPECT_TRUE(QFileInfo(home + "/harbel.skn").isFile());

    writeFile(home + "/Lang-I/English.ini", "[Vantor]\n11045=mine\n");
    QFile::remove(home + "/harbel.skn");
    ASSERT_TRUE(AppFolder::seed(home));
    EXPECT_EQ(readFile(home + "/Lang-I/English.ini"), "[Vantor]\n11045=mine\n");
    EXPECT_TRUE(QFileInfo(home + "/harbel.skn").isFile());
    EXPECT_EQ(AppFolder::file("History.ini"), home + "/History.ini");
}

TEST(AppFolder, EverySeededFileNamesItsPresentVersionSoThatTheNextReleaseCanUpdateIt)
{
    const QByteArray listed = readFile(":/harbel-versions/shipped-versions.txt");
    QDirIterator it(":/harbel", QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString source = it.next();
        const QByteArray line = QCryptographicHash::hash(readFile(source), QCryptographicHash::Sha256).toHex() + ' '
                              + source.mid(9).toUtf8();
        EXPECT_TRUE(listed.contains(line + '\n')) << "add to resources/shipped-versions.txt: " << line.toStdString();
        ++files;
    }
    EXPECT_GE(files, 5);
}

TEST(AutoStart, EntriesAreAddedAndRemovedInTheAutostartFolder)
{
    EXPECT_TRUE(AutoStart::folder().startsWith(testFolder()));
    ASSERT_TRUE(AutoStart::add("Harbel", "/opt/my apps/pellanor \"x\""));
    EXPECT_TRUE(AutoStart::contains("Harbel"));
    const QString entry = QString::fromUtf8(readFile(AutoStart::entryPath("Harbel")));
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("Exec=\"/opt/my apps/pellanor \\\\\"x\\\\\"\"\n")) << entry.toStdString();
    // A name cannot leave the folder.
    EXPECT_TRUE(AutoStart::entryPath("../../evil").startsWith(AutoStart::folder() + "/"));
    EXPECT_FALSE(AutoStart::entryPath("../../evil").mid(AutoStart::folder().size() + 1).contains('/'));
    ASSERT_TRUE(AutoStart::remove("Harbel"));
    EXPECT_FALSE(AutoStart::contains("Harbel"));
    EXPECT_TRUE(AutoStart::remove("Harbel"));  // removing a missing entry is fine
}

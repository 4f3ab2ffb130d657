#include "common/platform/IniFile.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::testFolder;
using harbel::test::writeFile;

namespace {
QString iniPath()
{
    return testFolder() + QStringLiteral("/t.ini");
}
}  // namespace

TEST(IniFile, ReadsLikeThePrivateProfileCalls)
{
    writeFile(iniPath(),
              "; comment\r\n"
              "[Vantor]\r\n"
              "11045=  can not log in.   \r\n"
              "11046=\r\n"
              "KEY=first\r\n"
              "key=second\r\n"
              "quoted=\"  kept  \"\r\n"
              "eq=a=b [c]\r\n"
              "utf=Grüße ✓\r\n"
              "[vantor]\r\n"
              "other=in the second section\r\n");
    IniFile ini(iniPath());
    EXPECT_EQ(ini.value("Vantor", "11045", "x"), "can not log in.");
    EXPECT_EQ(ini.value("Vantor", "11046", "default"), "");       // present, empty
    EXPECT_EQ(ini.value("Vantor", "missing", "default  "), "default");  // default loses trailing blanks
    EXPECT_EQ(ini.value("Vantor", "  leading", " x"), " x");
    EXPECT_EQ(ini.value("VANTOR", "key", ""), "first");  // case ignored, first match wins
    EXPECT_EQ(ini.value("Vantor", "quoted", ""), "  kept  ");
    EXPECT_EQ(ini.value("Vantor", "eq", ""), "a=b [c]");
    EXPECT_EQ(ini.value("Vantor", "utf", ""), QStringLiteral("Grüße ✓"));
    EXPECT_EQ(ini.value("Vantor", "other", "not in the first section"), "not in the first section");
    EXPECT_EQ(ini.value("NoSuch", "key", "d"), "d");
    EXPECT_EQ(IniFile(testFolder() + "/missing.ini").value("Vantor", "key", "d"), "d");

    // The buffer cut-off keeps size - 1 characters.
    EXPECT_EQ(ini.getString("Vantor", "11045", "", 4).text, "can");
    EXPECT_EQ(ini.getString("Vantor", "none", "abcdef", 4).text, "abc");
}

TEST(IniFile, UnreadableFileIsAFaultNotADefault)
{
    // A folder where the file should be.
    QDir().mkpath(iniPath());
    const IniFile::Read r = IniFile(iniPath()).getString("S", "k", "d");
    EXPECT_TRUE(r.failed);
    EXPECT_NE(r.errorNumber, 0);
    EXPECT_FALSE(r.errorDescription.isEmpty());
    EXPECT_FALSE(IniFile(iniPath()).writeString("S", "k", "v"));

    // A pipe would block the read.
    const QString pipe = testFolder() + "/pipe.ini";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_TRUE(IniFile(pipe).getString("S", "k", "d").failed);
    EXPECT_TRUE(IniFile(pipe).keys("S").isEmpty());
}

TEST(IniFile, ARewriteIsRefusedWhereASymbolicLinkStandsAndKeepsIt)
{
    // A link in the file's place is read, but may point at any file of the user: never written through.
    const QString target = testFolder() + "/elsewhere.txt";
    writeFile(target, "[S]\nk=v\n");
    ASSERT_TRUE(QFile::link(target, iniPath()));
    IniFile ini(iniPath());
    EXPECT_EQ(ini.value("S", "k", "d"), "v");
    EXPECT_FALSE(ini.writeString("S", "k", "w"));
    EXPECT_EQ(readFile(target), "[S]\nk=v\n");
    EXPECT_TRUE(QFileInfo(iniPath()).isSymLink());
}

TEST(IniFile, AHugeFileIsAFaultAndIsNotRewritten)
{
    // Every lookup reads the whole file again: a file of many megabytes would stall each one.
    const QString path = testFolder() + "/huge.ini";
    const QByteArray huge = "[S]\nk=v\n" + QByteArray(5 * 1024 * 1024, 'x') + "\n";
    writeFile(path, huge);
    IniFile ini(path);
    const IniFile::Read r = ini.getString("S", "k", "d");
    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.errorDescription.contains("larger than")) << r.errorDescription.toStdString();
    EXPECT_TRUE(ini.sections().isEmpty());
    EXPECT_FALSE(ini.writeString("S", "k", "w"));
    EXPECT_EQ(readFile(path), huge);
}

TEST(IniFile, WritesInPlaceAndRoundTripsAwkwardValues)
{
    writeFile(iniPath(), "[One]\nA=1\n\n[Two]\nB=2\n");
    IniFile ini(iniPath());
    ASSERT_TRUE(ini.writeString("one", "a", "changed"));
    ASSERT_TRUE(ini.writeString("One", "C", "added"));
    ASSERT_TRUE(ini.writeString("Three", "D", "new section"));
    EXPECT_EQ(readFile(iniPath()), "[One]\nA=changed\nC=added\n\n[Two]\nB=2\n\n[Three]\nD=new section\n");

    const QStringList awkward = {"x=y=z", "[not a section]", QStringLiteral("naïve Grüße"), "trailing   ",
                                 "  leading", "\"quoted\"", "'single'", ""};
    for (int i = 0; i < awkward.size(); ++i) {
        ASSERT_TRUE(ini.writeString("Two", QStringLiteral("k%1").arg(i), awkward[i]));
        EXPECT_EQ(ini.value("Two", QStringLiteral("k%1").arg(i), "?"), awkward[i]) << i;
    }
    // A line break cannot split the entry into two keys.
    ASSERT_TRUE(ini.writeString("Two", "nl", "a\nE=injected"));
    EXPECT_EQ(ini.value("Two", "E", "none"), "none");
    EXPECT_EQ(ini.keys("Three"), QStringList{"D"});
    EXPECT_EQ(ini.sections(), (QStringList{"One", "Two", "Three"}));

    ASSERT_TRUE(ini.deleteKey("Two", "B"));
    EXPECT_EQ(ini.value("Two", "B", "gone"), "gone");
    ASSERT_TRUE(ini.deleteSection("One"));
    EXPECT_EQ(ini.value("One", "A", "gone"), "gone");
}

TEST(IniFile, KeepsWindowsLineEndsOfAnExistingFile)
{
    writeFile(iniPath(), "[S]\r\nA=1\r\n");
    ASSERT_TRUE(IniFile(iniPath()).writeString("S", "B", "2"));
    EXPECT_EQ(readFile(iniPath()), "[S]\r\nA=1\r\nB=2\r\n");

    // Old Mac line ends are lines too, and stay as they were on a rewrite.
    writeFile(iniPath(), "[S]\rA=1\r[T]\rC=3\r");
    IniFile mac(iniPath());
    EXPECT_EQ(mac.value("S", "A", "d"), "1");
    EXPECT_EQ(mac.value("T", "C", "d"), "3");
    ASSERT_TRUE(mac.writeString("S", "B", "2"));
    EXPECT_EQ(readFile(iniPath()), "[S]\rA=1\rB=2\r[T]\rC=3\r");
}

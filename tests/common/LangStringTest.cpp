#include "common/platform/AppFolder.h"
#include "common/support/ErrorLog.h"
#include "common/support/LangString.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {
QString langFile()
{
    return languageFolder() + QStringLiteral("English.ini");
}
}  // namespace

TEST(LangString, ShippedEnglishFileHoldsEveryCode)
{
    setCurrentLanguageFile(QString());
    QStringList codes = {"01008", "02006", "03000", "05004", "04012", "04013", "04014", "04015",
                         "04018", "04019", "06007", "11002", "11003"};
    const auto range = [&](int from, int to) {
        for (int c = from; c <= to; ++c)
            codes.append(QStringLiteral("%1").arg(c, 5, 10, QChar('0')));
    };
    range(11017, 11029);
    range(11031, 11052);
    range(11055, 11057);
    range(13020, 13025);
    range(13028, 13044);
    const QString text = QString::fromUtf8(readFile(langFile()));
    ASSERT_FALSE(text.isEmpty()) << "the application folder was not seeded";
    for (const QString& code : codes)
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("(^|\\n)%1=").arg(code)))) << code.toStdString();
    EXPECT_EQ(GetLangString("11045", "x"), "can not log in.");
}

TEST(LangString, DefaultsEmptyValuesBlanksAndCutOff)
{
    writeFile(langFile(), QStringLiteral("[Vantor]\n11045=   translated text   \n11046=\n11047=%1\n")
                              .arg(QString(600, u'é'))
                              .toUtf8());
    setCurrentLanguageFile("English.ini");
    EXPECT_EQ(GetLangString("11045", " can not log in."), "translated text");
    EXPECT_EQ(GetLangString("11046", "Default"), "Default");           // present but empty: English
    EXPECT_EQ(GetLangString("11099", " can not log in. "), "can not log in.");  // missing: default, trimmed
    EXPECT_EQ(GetLangString("11047", ""), QString(499, u'é'));

    // Another language file that is missing falls back to the defaults, silently.
    setCurrentLanguageFile("Klingon.ini");
    EXPECT_EQ(GetLangString("11045", "English"), "English");
    EXPECT_FALSE(QFile::exists(AppFolder::file("errorlog.txt")));
    // A missing language folder too.
    QDir(languageFolder()).removeRecursively();
    setCurrentLanguageFile("English.ini");
    EXPECT_EQ(GetLangString("11045", "English"), "English");
    setCurrentLanguageFile(QString());
}

TEST(LangString, UnreadableFileGivesTheEnglishTextAndOneLogRecord)
{
    QFile::remove(langFile());
    QDir().mkpath(langFile());  // a folder in place of the file cannot be read
    EXPECT_EQ(GetLangString("11045", "can not log in."), "can not log in.");
    // Without a default of the caller's, the English file built into the program gives it.
    EXPECT_EQ(GetLangString("11022", QString()), "Reset To Defaults");
    const QString log = QString::fromUtf8(readFile(AppFolder::file("errorlog.txt")));
    EXPECT_TRUE(log.contains("Error Description: ")) << log.toStdString();
    EXPECT_TRUE(log.contains(", Error Number: 75, Method: SetCaptionfromINI\"")) << log.toStdString();

    // Captions are looked up many times a second (the rate in the status bar): a fault that stays
    // must not add a record at every lookup.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(GetLangString("11046", "x"), "x");
    EXPECT_EQ(readFile(AppFolder::file("errorlog.txt")).count("SetCaptionfromINI"), 1);
    // Once the file reads again, a new fault is logged again.
    QDir(langFile()).removeRecursively();
    writeFile(langFile(), "[Vantor]\n11045=ok\n");
    EXPECT_EQ(GetLangString("11045", "x"), "ok");
    QFile::remove(langFile());
    QDir().mkpath(langFile());
    EXPECT_EQ(GetLangString("11045", "x"), "x");
    EXPECT_EQ(readFile(AppFolder::file("errorlog.txt")).count("SetCaptionfromINI"), 2);
}

TEST(ErrorLog, EachRecordIsAQuoteLineThenDateTimeAndMessage)
{
    WriteErrorLog("first");
    WriteErrorLog("second, with a comma");
    const QStringList lines = QString::fromUtf8(readFile(AppFolder::file("errorlog.txt"))).split('\n');
    ASSERT_EQ(lines.size(), 5);  // two records of two lines, and the end of the last line
    const QRegularExpression record(QStringLiteral("^Date: [^\"]+\",\"Time: [^\"]+\",\"(.*)\"$"));
    EXPECT_EQ(lines[0], "\"");
    EXPECT_EQ(record.match(lines[1]).captured(1), "first");
    EXPECT_EQ(lines[2], "\"");
    EXPECT_EQ(record.match(lines[3]).captured(1), "second, with a comma");
    EXPECT_EQ(lines[4], "");
}

TEST(ErrorLog, AnUnwritableLogIsSwallowed)
{
    QDir().mkpath(AppFolder::file("errorlog.txt"));
    WriteErrorLog("nowhere to go");  // must neither throw nor crash
    SUCCEED();
}

TEST(ErrorLog, APipeOrALinkInPlaceOfTheLogIsLeftAlone)
{
    // Opening a pipe with no reader would block the program at its first error.
    const QString log = AppFolder::file("errorlog.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
    WriteErrorLog("nowhere to go");
    QFile::remove(log);
    // A link may point at any file of the user: no record is appended there.
    const QString elsewhere = test::testFolder() + "/elsewhere.txt";
    writeFile(elsewhere, "old log\n");
    ASSERT_TRUE(QFile::link(elsewhere, log));
    WriteErrorLog("through the link");
    EXPECT_EQ(readFile(elsewhere), "old log\n");
    EXPECT_FALSE(readFile(elsewhere).contains("through the link"));
}

TEST(LangString, TheDownloadManagerStartsWithTheChosenLanguageElseEnglish)
{
    // Nothing chosen: English.
    EXPECT_EQ(chosenLanguageFile(), "English.ini");

    writeFile(languageFolder() + "Deutsch.ini", "[Vantor]\n11045=kann nicht anmelden.\n");
    ASSERT_TRUE(storeLanguageChoice("Deutsch.ini"));
    EXPECT_EQ(chosenLanguageFile(), "Deutsch.ini");
    setCurrentLanguageFile(chosenLanguageFile());
    EXPECT_EQ(GetLangString("11045", " can not log in."), "kann nicht anmelden.");
    EXPECT_EQ(GetLangString("11046", "Missing here"), "Missing here");

    // A chosen file that has gone, or a name that points out of the folder: English.
    QFile::remove(languageFolder() + "Deutsch.ini");
    EXPECT_EQ(chosenLanguageFile(), "English.ini");
    writeFile(test::testFolder() + "/Evil.ini", "[Vantor]\n11045=evil\n");
    ASSERT_TRUE(storeLanguageChoice("../../Evil.ini"));
    EXPECT_EQ(storedLanguageChoice(), "Evil.ini");
    EXPECT_EQ(chosenLanguageFile(), "English.ini");
    setCurrentLanguageFile(QString());
}

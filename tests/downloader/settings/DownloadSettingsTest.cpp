#include "common/platform/SecretStore.h"
#include "downloader/settings/DownloadSettings.h"

#include "downloader/intake/CaptureFilters.h"

#include "common/platform/AppFolder.h"
#include "common/platform/AutoStart.h"
#include "common/platform/CRegister.h"
#include "common/platform/RegistryStore.h"
#include "common/support/ShiftCode.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

void store(const char* key, const QString& value)
{
    CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QLatin1String(key), value);
}

QString stored(const char* key)
{
    return CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QLatin1String(key), "<none>");
}

SettingsStore loaded()
{
    SettingsStore s;
    s.LoadSettings();
    return s;
}

}  // namespace

TEST(SettingsStore, DefaultsOnAMachineWithNothingStored)
{
    SettingsStore s;
    s.FileExistsAction = 0;
    int dialogMade = 0;
    s.ensureDialog = [&] { ++dialogMade; };
    s.LoadSettings();
    EXPECT_EQ(dialogMade, 1);
    const DownloadSettings& r = s.record;
    EXPECT_EQ(s.FileExistsAction, -2);
    EXPECT_EQ(r.RetryTime, 300);
    EXPECT_EQ(r.Retries, 3);  // as the settings dialog proposes
    EXPECT_EQ(r.Timeout, 60);
    EXPECT_EQ(r.TimeResume, 300);
    EXPECT_EQ(r.TimeNoResume, 600);
    EXPECT_EQ(r.Rollback, 4096);
    EXPECT_EQ(r.ProxyPort, 80);
    EXPECT_EQ(r.LimitHTTP, "3");
    EXPECT_TRUE(r.ClickCapture);
    EXPECT_TRUE(r.ClipboardMonitoring);
    EXPECT_TRUE(r.PromptDone);
    EXPECT_FALSE(r.AskSegmented);
    EXPECT_TRUE(r.NotifyWhenDone);
    EXPECT_FALSE(r.CloseDownloadWindowWhenDone);
    EXPECT_TRUE(r.DownloadPromptOption);
    EXPECT_FALSE(r.DownloadNowOption);
    EXPECT_EQ(r.Segment, 0);
    EXPECT_EQ(r.TextSameDir, defaultSaveFolder());
    EXPECT_EQ(r.MonitorTypes, QString::fromLatin1(kDefaultMonitorTypes));
    // No server is ignored until the user names one; the wanted types include today's downloads.
    EXPECT_TRUE(r.MonitorServer.isEmpty());
    EXPECT_TRUE(IsServerPermitted("http://windowsupdate.microsoft.com/x.iso", r.MonitorServer));
    EXPECT_TRUE(IsExtPermitted("http://host/debian.iso", r.MonitorTypes));
    // The loaded segment bounds are the odd ones.
    const std::array<double, 9> bounds{2097152, 5242880, 5242881, 10485760, 10485761,
                                       15728640, 15728641, 20971520, 20971521};
    EXPECT_EQ(r.SegmentSize, bounds);
}

TEST(SettingsStore, StoredValuesAndTheirConversions)
{
    store("SegmentSize1", "1048576");
    store("SegmentSize3", "3145728");
    store("Timeout", "15");
    store("Retries", "0");
    store("Rollback", "0");
    store("Segment", "1");
    store("ProxyPort", "50000");  // above the 16-bit range: still a port
    store("UseProxy", "1");
    store("SaveSameDir", "True");
    store("UseDate", "False");
    store("StopResume", "0");
    store("DownloadNowOption", "True");
    store("DownloadPromptOption", "False");
    store("UserPass", "plain text");
    store("Downloads", "12");
    store("AllBytes", "123456789012");
    SettingsStore s = loaded();
    const DownloadSettings& r = s.record;
    EXPECT_EQ(r.SegmentSize[0], 1048576);
    EXPECT_EQ(r.SegmentSize[2], 3145729);
    EXPECT_EQ(r.Timeout, 15);
    EXPECT_EQ(r.Retries, 0);
    EXPECT_EQ(r.Rollback, 0);
    EXPECT_EQ(r.Segment, 1);
    EXPECT_EQ(r.ProxyPort, 50000);
    EXPECT_TRUE(r.UseProxy);
    EXPECT_TRUE(r.SaveSameDir);
    EXPECT_FALSE(r.UseDate);
    EXPECT_FALSE(r.StopResume);
    EXPECT_TRUE(r.DownloadNowOption);
    EXPECT_FALSE(r.DownloadPromptOption);
    EXPECT_EQ(r.UserPass, "plain text");
    EXPECT_EQ(r.Downloads, 12);
    EXPECT_EQ(r.AllBytes, 123456789012.0);  // a total above 16 MiB keeps every byte
    // The stored values stay as they were.
    EXPECT_EQ(stored("SegmentSize3"), "3145728");
}

TEST(SettingsStore, ClipboardAndPromptSwitchesNeedExactlyOne)
{
    const struct {
        const char* text;
        bool clipboard;
        bool prompt;
    } cases[] = {{"1", true, true}, {"-1", false, false}, {"True", false, false}, {"0", false, false},
                 {"1.0", true, false}, {" 1", true, false}, {"yes", false, false}};
    for (const auto& c : cases) {
        store("ClipboardMonitoring", c.text);
        store("PromptDone", c.text);
        store("CloseDownloadWindowWhenDone", c.text);
        store("AskSegmented", c.text);
        store("NotifyWhenDone", c.text);
        SettingsStore s = loaded();
        EXPECT_EQ(s.record.ClipboardMonitoring, c.clipboard) << c.text;
        EXPECT_EQ(s.record.PromptDone, c.prompt) << c.text;
        EXPECT_EQ(s.record.CloseDownloadWindowWhenDone, c.prompt) << c.text;
        EXPECT_EQ(s.record.AskSegmented, c.prompt) << c.text;
        EXPECT_EQ(s.record.NotifyWhenDone, c.prompt) << c.text;
    }
}

TEST(SettingsStore, ValuesThatDoNotConvertKeepTheirDefaults)
{
    store("Timeout", "soon");
    store("Retries", "-4");
    store("Rollback", "99999999999");
    store("Segment", "300");
    store("ProxyPort", "70000");
    store("Retry", "maybe");
    store("ClickCapture", "");
    store("SegmentSize2", "big");
    store("TimeResume", "2.5");
    SettingsStore s = loaded();
    EXPECT_EQ(s.record.Timeout, 60);
    EXPECT_EQ(s.record.Retries, 3);
    EXPECT_EQ(s.record.Rollback, 4096);
    EXPECT_EQ(s.record.Segment, 0);
    EXPECT_EQ(s.record.ProxyPort, 80);
    EXPECT_TRUE(s.record.Retry);
    EXPECT_TRUE(s.record.ClickCapture);
    EXPECT_EQ(s.record.SegmentSize[1], 5242880);
    EXPECT_EQ(s.record.TimeResume, 2);  // rounded half to even
}

TEST(SettingsStore, SaveWritesEveryKeyInOrderWithUnitConversions)
{
    SettingsDialogValues v;
    v.txtTimeResume = "5";
    v.txtTimeNoResume = "2.5";
    v.txtRollback = "8";
    v.txtSegment[0] = "3";
    v.txtSegment[8] = "0.5";
    v.txtRetryTime = "60";
    v.txtRetries = "3";
    v.optSameDir = true;
    v.txtSameDir = "/srv/downloads";
    v.lblLastDir = "/home/me";
    v.txtPass = "proxy pw";
    SecretStore::setFileAllowed(true);  // no keyring runs here
    SettingsStore s;
    s.SaveSettings(v);

    EXPECT_EQ(stored("TimeResume"), "300");
    EXPECT_EQ(stored("TimeNoResume"), "150");
    EXPECT_EQ(stored("Rollback"), "8192");
    EXPECT_EQ(stored("SegmentSize1"), "3145728");
    EXPECT_EQ(stored("SegmentSize9"), "524288");
    EXPECT_EQ(stored("SaveSameDir"), "True");
    EXPECT_EQ(stored("SaveFileType"), "False");
    EXPECT_EQ(stored("ClipboardMonitoring"), "1");
    EXPECT_EQ(stored("UserPass"), SecretStore::marker());
    EXPECT_EQ(stored("Downloads"), "<none>");
    EXPECT_EQ(stored("UseCustom"), "<none>");

    // On an empty store the file lists the values in the order they were written.
    const QString file = QString::fromUtf8(readFile(RegistryStore::defaultPath()));
    QStringList names;
    const QRegularExpression valueLine(QStringLiteral("^\"([^\"]+)\"="), QRegularExpression::MultilineOption);
    for (auto it = valueLine.globalMatch(file); it.hasNext();)
        names.append(it.next().captured(1));
    QStringList expected = {"ClipboardMonitoring", "LimitHTTP", "LimitFTP", "ClickCapture", "StartupWithWindows",
                            "PromptDone", "CloseDownloadWindowWhenDone", "DownloadNowOption", "DownloadLaterOption",
                            "DownloadPromptOption", "MonitorTypes", "MonitorServer", "Timeout", "StopResume",
                            "TimeResume", "TimeNoResume", "Retry", "RetryTime", "Retries", "Rollback", "Segment"};
    for (int i = 1; i <= 9; ++i)
        expected.append(QStringLiteral("SegmentSize%1").arg(i));
    expected += QStringList{"SaveSameDir", "TextSameDir", "SaveLastDir", "SaveFileType", "SaveFileInfo", "ParentDir",
                            "UseServer", "UseDate", "UseFileExt", "UsePASV", "UseProxy", "ProxyServer", "ProxyPort",
                            "UseFTPProxy", "UserID", "UserPass", "LoginProxy", "UsePass", "AskSegmented", "NotifyWhenDone"};
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(QFile::exists(SettingsStore::settingsIniPath()));

    // What was saved loads back (the dialog's 60 and 3 now run the program).
    SettingsStore back = loaded();
    EXPECT_EQ(back.record.RetryTime, 60);
    EXPECT_EQ(back.record.Retries, 3);
    EXPECT_EQ(back.record.SegmentSize[0], 3145728);
    EXPECT_EQ(back.record.SegmentSize[8], 524289);
    EXPECT_TRUE(back.record.SaveSameDir);
    EXPECT_EQ(back.record.TextSameDir, "/srv/downloads");
}

TEST(SettingsIni, ExactLayoutAndRoundTrip)
{
    SettingsStore s;
    s.LastSavePath = "/home/me/Downloads/file.zip";
    s.fileTypes = {{".zip", "/home/me/Archives"}, {QStringLiteral(".mp3 ünï"), "/home/me/Music"}};
    s.logins = {{"ftp.example.com", "anna", "abc"}, {"host2", "bob", QStringLiteral("pä ss")}};
    SecretStore::setFileAllowed(true);  // no keyring runs here
    ASSERT_TRUE(s.SaveToINI());
    QByteArray expected = "/home/me/Downloads/file.zip\r\n.zip\r\n/home/me/Archives\r\n";
    expected += QStringLiteral(".mp3 ünï").toUtf8() + "\r\n/home/me/Music\r\nLogins:\r\n";
    expected += "ftp.example.com\r\nanna\r\n" + SecretStore::marker().toUtf8() + "\r\nhost2\r\nbob\r\n"
                + SecretStore::marker().toUtf8() + "\r\n";
    EXPECT_EQ(readFile(SettingsStore::settingsIniPath()), expected);

    SettingsStore back;
    back.LoadfromINI();
    EXPECT_EQ(back.LastSavePath, s.LastSavePath);
    ASSERT_EQ(back.fileTypes.size(), 2);
    EXPECT_EQ(back.fileTypes[1].fileType, QStringLiteral(".mp3 ünï"));
    EXPECT_EQ(back.fileTypes[1].folder, "/home/me/Music");
    ASSERT_EQ(back.logins.size(), 2);
    EXPECT_EQ(back.logins[0].password, "abc");
    EXPECT_EQ(back.logins[1].password, QStringLiteral("pä ss"));
}

TEST(SettingsIni, BareOrEmptyLastPathLeavesTheDownloadFolderNotTheApplicationFolder)
{
    // Until the user has chosen a folder, files go where the desktop keeps downloads; the
    // application folder holds the program's own files.
    const QString downloads = defaultSaveFolder();
    EXPECT_NE(downloads, AppFolder::path());
    EXPECT_TRUE(QFileInfo(downloads).isDir());
    SettingsStore s;
    s.LastSavePath = "file.zip";
    ASSERT_TRUE(s.SaveToINI());
    EXPECT_TRUE(readFile(SettingsStore::settingsIniPath()).startsWith("\r\nLogins:\r\n"));
    EXPECT_EQ(s.LastDirectory(), downloads);
    s.LastSavePath.clear();
    ASSERT_TRUE(s.SaveToINI());
    EXPECT_TRUE(readFile(SettingsStore::settingsIniPath()).startsWith("\r\n"));
    s.LoadfromINI();
    EXPECT_EQ(s.LastDirectory(), downloads);
    s.LastSavePath = "/top.zip";
    EXPECT_EQ(s.LastDirectory(), "/");
    s.LastSavePath = "/home/me/a.zip";
    EXPECT_EQ(s.LastDirectory(), "/home/me");
}

TEST(SettingsIni, LineBreaksInsideAnEntryCannotShiftTheFile)
{
    SettingsStore s;
    s.LastSavePath = "/a/b";
    s.fileTypes = {{".zip\r\nLogins:", "/x"}};
    s.logins = {{"host\nevil", "user", "pw"}};
    SecretStore::setFileAllowed(true);
    ASSERT_TRUE(s.SaveToINI());
    SettingsStore back;
    back.LoadfromINI();
    ASSERT_EQ(back.fileTypes.size(), 1);
    EXPECT_EQ(back.fileTypes[0].folder, "/x");
    ASSERT_EQ(back.logins.size(), 1);
    EXPECT_EQ(back.logins[0].user, "user");
    EXPECT_EQ(back.logins[0].password, "pw");
}

TEST(SettingsIni, FileEndingInsideALoginKeepsTheMissingFieldsEmpty)
{
    writeFile(SettingsStore::settingsIniPath(), "/a/b.zip\r\n.zip\r\n/z\r\nLogins:\r\nh1\r\nu1\r\nklm\r\nh2\r\nu2");
    SettingsStore s;
    s.LoadfromINI();
    ASSERT_EQ(s.logins.size(), 2);
    EXPECT_EQ(s.logins[0].password, "abc");
    EXPECT_EQ(s.logins[1].server, "h2");
    EXPECT_EQ(s.logins[1].user, "u2");
    EXPECT_EQ(s.logins[1].password, "");

    writeFile(SettingsStore::settingsIniPath(), "/a/b.zip\nLogins:\nonly-server\n");
    s.LoadfromINI();
    ASSERT_EQ(s.logins.size(), 1);
    EXPECT_EQ(s.logins[0].user, "");

    // An empty file keeps the last path and empties both lists.
    writeFile(SettingsStore::settingsIniPath(), "");
    s.LastSavePath = "/kept";
    s.LoadfromINI();
    EXPECT_EQ(s.LastSavePath, "/kept");
    EXPECT_TRUE(s.logins.isEmpty());
}

TEST(SettingsIni, DeletingTheFileEmptiesTheListsAndTheDownloadFolderBecomesTheLastDirectory)
{
    SettingsStore s;
    s.LastSavePath = "/old/place/file.zip";
    s.fileTypes = {{".zip", "/z"}};
    s.logins = {{"h", "u", "p"}};
    ASSERT_TRUE(s.SaveToINI());
    QFile::remove(SettingsStore::settingsIniPath());
    SettingsStore next;
    next.LoadSettings();
    EXPECT_TRUE(next.fileTypes.isEmpty());
    EXPECT_TRUE(next.logins.isEmpty());
    ASSERT_TRUE(next.SaveToINI());
    next.LoadfromINI();
    EXPECT_EQ(next.LastDirectory(), defaultSaveFolder());
}

TEST(SettingsIni, AFileThatCannotBeReadIsNeverReplacedByTheEmptyLists)
{
    const QString path = SettingsStore::settingsIniPath();
    QDir().mkpath(path);  // a folder in place of the file
    SettingsStore s;
    s.LoadfromINI();
    EXPECT_TRUE(s.iniError.contains("Settings.ini")) << s.iniError.toStdString();
    EXPECT_TRUE(s.fileTypes.isEmpty());

    // Running as root every file reads: a file put there now stands for one this run could not read.
    QDir(path).removeRecursively();
    writeFile(path, "/user/last\r\n.zip\r\n/zips\r\nLogins:\r\n");
    s.LastSavePath = "/new/place/file.zip";
    EXPECT_FALSE(s.SaveToINI());
    EXPECT_EQ(readFile(path), "/user/last\r\n.zip\r\n/zips\r\nLogins:\r\n");

    // Once it is gone, or read again, it is written as before.
    QFile::remove(path);
    EXPECT_TRUE(s.SaveToINI());
    s.LoadfromINI();
    EXPECT_TRUE(s.iniError.isEmpty());
    EXPECT_EQ(s.LastSavePath, "/new/place/file.zip");
}

TEST(SettingsIni, ASaveIsRefusedWhereASymbolicLinkStandsAndKeepsIt)
{
    // A link in the file's place may point at any file of the user: nothing is written through it.
    const QString elsewhere = test::testFolder() + "/elsewhere.txt";
    writeFile(elsewhere, "");
    ASSERT_TRUE(QFile::link(elsewhere, SettingsStore::settingsIniPath()));
    SettingsStore s;
    s.LastSavePath = "/a/b.zip";
    EXPECT_FALSE(s.SaveToINI());
    EXPECT_TRUE(QFileInfo(SettingsStore::settingsIniPath()).isSymLink());
    EXPECT_FALSE(readFile(elsewhere).contains("/a/b.zip"));
}

TEST(StartUp, EntryFollowsTheCheckBox)
{
    ASSERT_TRUE(DoStartUp("/usr/bin/pellanor", "Harbel"));
    EXPECT_TRUE(AutoStart::contains("Harbel"));
    EXPECT_TRUE(readFile(AutoStart::entryPath("Harbel")).contains("Exec=\"/usr/bin/pellanor\""));
    ASSERT_TRUE(DoNotStartUp("/usr/bin/pellanor", "Harbel"));
    EXPECT_FALSE(AutoStart::contains("Harbel"));
}

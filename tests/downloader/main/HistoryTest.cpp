#include "downloader/main/History.h"

#include "downloader/main/DownloadRow.h"
#include "tests/downloader/main/QueueRowTexts.h"

#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/platform/CRegister.h"
#include "common/support/LangString.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

class Lists final : public Form {
public:
    Lists() : Form("frmMain") {}
    ListView lstMain{*this, "lstMain"};
    ListView lstComplete{*this, "lstComplete"};
};

ListRow* addRow(ListView& list, int icon, const QString& name, const QString& status)
{
    ListRow* r = list.Add({}, icon);
    const QStringList lines = {"/down/" + name, "42%", "1.00 MB", "440 KB", status, "http://host/" + name, {}};
    setEntry(*r, QueueEntry::fromLines(lines, icon == DownloadRow::kCompleteIcon));
    return r;
}

QString shortDate(const QDate& d)
{
    return QLocale::system().toString(d, QLocale::ShortFormat);
}

}  // namespace

TEST(History, RoundTripOfBothListsWithTheDateOfTheSave)
{
    Lists a;
    test::setRowText(*addRow(a.lstMain, 1, "one.zip", "Downloading"), 7, "an old date");
    addRow(a.lstMain, 1, "two.zip", "Not Downloaded");
    addRow(a.lstComplete, 4, QStringLiteral("drei-ü.zip"), "Download Success");
    setCurrentLanguageFile("English.ini");
    const QDate saved(2026, 12, 7);
    ASSERT_TRUE(History::SaveHistory(a.lstMain, a.lstComplete, saved));

    const QList<QByteArray> lines = readFile(History::path()).split('\n');
    ASSERT_EQ(lines.size(), 2 * 7 + 1 + 7 + 1 + 1);
    EXPECT_EQ(lines[0], "/down/one.zip\r");
    EXPECT_EQ(lines[6], shortDate(saved).toUtf8() + "\r");  // not the date the row had
    EXPECT_EQ(lines[14], "Complete List\r");
    EXPECT_EQ(lines[22], "Finish History\r");
    EXPECT_EQ(CRegister().REGGetSetting(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\Harbel\\Language", "Name", ""),
              "English.ini");

    Lists b;
    b.lstMain.Add();  // emptied by the load
    History::LoadHistory(b.lstMain, b.lstComplete);
    ASSERT_EQ(b.lstMain.count(), 2);
    ASSERT_EQ(b.lstComplete.count(), 1);
    EXPECT_EQ(b.lstMain.item(1)->cells(), a.lstMain.item(1)->cells());
    EXPECT_EQ(b.lstMain.item(2)->SmallIcon(), 1);
    EXPECT_EQ(b.lstComplete.item(1)->cell(1), QStringLiteral("/down/drei-ü.zip"));
    EXPECT_EQ(b.lstComplete.item(1)->SmallIcon(), 4);
    EXPECT_EQ(b.lstComplete.item(1)->cell(7), shortDate(saved));
}

TEST(History, EmptyListsRemoveTheFileAndAHistoryWithoutQueueRows)
{
    Lists a;
    writeFile(History::path(), "stale\r\n");
    ASSERT_TRUE(History::SaveHistory(a.lstMain, a.lstComplete));
    EXPECT_FALSE(QFile::exists(History::path()));

    addRow(a.lstComplete, 4, "done.zip", "Download Success");
    ASSERT_TRUE(History::SaveHistory(a.lstMain, a.lstComplete));
    EXPECT_TRUE(readFile(History::path()).startsWith("Complete List\r\n"));
    Lists b;
    History::LoadHistory(b.lstMain, b.lstComplete);
    EXPECT_EQ(b.lstMain.count(), 0);
    EXPECT_EQ(b.lstComplete.count(), 1);
}

TEST(History, LineBreaksInACellCannotShiftLaterRecords)
{
    Lists a;
    addRow(a.lstMain, 1, "one.zip", "Error:\r\nline two");
    addRow(a.lstMain, 1, "two.zip", "Paused");
    ASSERT_TRUE(History::SaveHistory(a.lstMain, a.lstComplete));
    Lists b;
    History::LoadHistory(b.lstMain, b.lstComplete);
    ASSERT_EQ(b.lstMain.count(), 2);
    EXPECT_EQ(b.lstMain.item(1)->cell(5), "Failed: Error: line two");
    EXPECT_EQ(b.lstMain.item(2)->cell(6), "http://host/two.zip");
}

TEST(History, TruncatedFilesKeepWhatWasRead)
{
    Lists l;
    // Ends after a complete queue record without "Complete List": no blank row is made.
    writeFile(History::path(), "/d/a\r\n0%\r\nN/A\r\nN/A\r\nNot Downloaded\r\nhttp://h/a\r\n1/1/26\r\n");
    History::LoadHistory(l.lstMain, l.lstComplete);
    ASSERT_EQ(l.lstMain.count(), 1);
    EXPECT_EQ(l.lstMain.item(1)->cell(6), "http://h/a");

    // Ends inside a queue record: the part read is kept.
    writeFile(History::path(), "/d/a\r\n0%\r\nN/A");
    History::LoadHistory(l.lstMain, l.lstComplete);
    ASSERT_EQ(l.lstMain.count(), 1);
    EXPECT_EQ(l.lstMain.item(1)->cell(3), "N/A");
    EXPECT_EQ(l.lstMain.item(1)->cell(4), "");

    // A record cut short by "Complete List" is dropped; the completed section is read whole.
    writeFile(History::path(), "/d/a\r\n0%\r\nComplete List\r\n/d/b\r\n100%\r\n1 KB\r\n1 KB\r\nDone\r\nhttp://h/b\r\nd\r\n"
                               "/d/c\r\nFinish History\r\n");
    History::LoadHistory(l.lstMain, l.lstComplete);
    EXPECT_EQ(l.lstMain.count(), 0);
    ASSERT_EQ(l.lstComplete.count(), 1);
    EXPECT_EQ(l.lstComplete.item(1)->cell(6), "http://h/b");

    // Junk is no crash.
    writeFile(History::path(), QByteArray("\x00\xff\r\n\r\n", 6));
    History::LoadHistory(l.lstMain, l.lstComplete);
    EXPECT_LE(l.lstMain.count(), 1);
}

TEST(History, AFileThatCannotBeReadIsReportedAndTheListsStayAsTheyWere)
{
    Lists l;
    addRow(l.lstMain, 1, "kept.zip", "Paused");
    QDir().mkpath(History::path() + "/inside");  // a folder in place of the file
    QString error;
    EXPECT_FALSE(History::LoadHistory(l.lstMain, l.lstComplete, &error));
    EXPECT_TRUE(error.contains("History.ini")) << error.toStdString();
    ASSERT_EQ(l.lstMain.count(), 1);
    EXPECT_EQ(l.lstMain.item(1)->cell(5), "Paused");

    // Writing over it fails, and says why.
    error.clear();
    EXPECT_FALSE(History::SaveHistory(l.lstMain, l.lstComplete, QDate(2026, 12, 7), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(History::path()).isDir());

    // A missing file is no fault.
    QDir(History::path()).removeRecursively();
    EXPECT_TRUE(History::LoadHistory(l.lstMain, l.lstComplete, &error));
}

TEST(History, ASaveIsRefusedWhereASymbolicLinkStandsAndKeepsIt)
{
    // A link in the file's place may point at any file of the user: the lists are not written
    // through it, and empty lists do not remove it.
    const QString elsewhere = test::testFolder() + "/elsewhere.txt";
    writeFile(elsewhere, "");
    ASSERT_TRUE(QFile::link(elsewhere, History::path()));
    Lists l;
    addRow(l.lstMain, 1, "a.zip", "Paused");
    QString error;
    EXPECT_FALSE(History::SaveHistory(l.lstMain, l.lstComplete, QDate(2026, 12, 7), &error));
    EXPECT_TRUE(error.contains("link")) << error.toStdString();
    EXPECT_FALSE(readFile(elsewhere).contains("a.zip"));
    Lists empty;
    EXPECT_FALSE(History::SaveHistory(empty.lstMain, empty.lstComplete, QDate(2026, 12, 7), &error));
    EXPECT_TRUE(QFileInfo(History::path()).isSymLink());
    Lists loaded;
    EXPECT_TRUE(History::LoadHistory(loaded.lstMain, loaded.lstComplete, &error));
    EXPECT_TRUE(loaded.lstMain.isEmpty());
    EXPECT_TRUE(loaded.lstComplete.isEmpty());
}

TEST(History, EveryKindOfRowIsReadIntoItsStateAndWrittenBackByteForByte)
{
    using State = QueueEntry::State;
    const struct {
        QStringList cells;  // 1 to 6, as History.ini holds them
        State state;
        bool countsAgainstLimit, startedBySchedule;
        QString shown;  // the Status cell: the state in the program's words
    } queue[] = {
        {{"/d/later.zip", "0%", "N/A", "N/A", "Not Downloaded", "http://h/later.zip"}, State::Waiting, false, true, "Not Downloaded"},
        {{"/d/now.zip", "0%", "N/A", "N/A", "N/A", "http://h/now.zip"}, State::Waiting, false, true, "N/A"},
        {{"/d/big.iso", "0%", "4.00 GB", "1.00 MB", "Downloading", "http://h/big.iso"}, State::Stopped, false, true, "Stopped"},
        {{"/d/part.zip", "37%", "1.00 MB", "378.88 KB", "Downloading...", "http://h/part.zip"}, State::Stopped, false, true, "Stopped"},
        {{"/d/held.zip", "42%", "1.00 MB", "430.08 KB", "Paused/Stopped", "ftp://h/held.zip"}, State::Paused, false, true, "Paused"},
        {{"/d/stop.zip", "42%", "1.00 MB", "430.08 KB", "Transfer Stopped", "ftp://h/stop.zip"}, State::Stopped, false, true, "Stopped"},
        {{"/d/bad.zip", "12%", "", "12 Bytes", "The server's reply is not a valid HTTP reply.", "http://h/bad.zip"}, State::Failed, false, true, "Failed: The server's reply is not a valid HTTP reply."},
        {{"/d/gone.zip", "0 %", "N/A", "N/A", "File Not Found", "http://h/gone.zip"}, State::Blocked, false, false, "File Not Found"},
        {{"You block this server", "0 %", "N/A", "N/A", "Not Downloaded", "http://blocked.example/a.zip"}, State::Blocked, false, false, "Not Downloaded"},
        {{"/d/slow.zip", "Connection has timed out.", "", "N/A", "Downloading", "http://h/slow.zip"}, State::Failed, false, true, "Failed: Connection has timed out."},
        {{"/d/whole.zip", "100%", "1.00 KB", "1.00 KB", "Download Success", "http://h/whole.zip"}, State::Complete, false, false, "Complete"},
        {{"/d/odd.zip", "007%", "1 KB", "", "?", "mirror: http://h/odd.zip"}, State::Failed, false, true, "Failed: ?"},
        {{"/d/over.zip", "607%", "1.00 MB", "1.00 MB", "Downloading", "http://h/over.zip"}, State::Failed, false, true, "Failed: 607%"},
        {{"", "", "", "", "", ""}, State::Stopped, false, true, "Stopped"},
    };
    const QStringList completed[] = {{"/d/done.zip", "100%", "2.00 KB", "2.00 KB", "Download Success", "http://h/done.zip"},
                                     {"/d/bare.zip", "", "", "", "", "http://h/bare.zip"}};
    const QDate saved(2026, 12, 7);
    QByteArray file;
    const auto record = [&](const QStringList& cells) {
        for (const QString& cell : cells)
            file += cell.toUtf8() + "\r\n";
        file += shortDate(saved).toUtf8() + "\r\n";
    };
    for (const auto& row : queue)
        record(row.cells);
    file += "Complete List\r\n";
    for (const QStringList& cells : completed)
        record(cells);
    file += "Finish History\r\n";
    writeFile(History::path(), file);

    Lists l;
    ASSERT_TRUE(History::LoadHistory(l.lstMain, l.lstComplete));
    ASSERT_EQ(l.lstMain.count(), int(std::size(queue)));
    for (int i = 0; i < l.lstMain.count(); ++i) {
        const QueueEntry entry = entryOf(*l.lstMain.at(i));
        EXPECT_EQ(queueRowCells(entry).mid(1, 6), queue[i].cells) << i;
        QStringList shown = queue[i].cells;
        shown[DownloadRow::Status - 1] = queue[i].shown;
        EXPECT_EQ(l.lstMain.at(i)->cells().mid(1, 6), shown) << i;
        EXPECT_EQ(int(entry.state), int(queue[i].state)) << i;
        EXPECT_EQ(entry.countsAgainstServerLimit(), queue[i].countsAgainstLimit) << i;
        EXPECT_EQ(entry.startedBySchedule(), queue[i].startedBySchedule) << i;
    }
    ASSERT_EQ(l.lstComplete.count(), 2);
    for (ListRow* row : l.lstComplete.rows())
        EXPECT_EQ(int(entryOf(*row).state), int(State::Complete));

    ASSERT_TRUE(History::SaveHistory(l.lstMain, l.lstComplete, saved));
    EXPECT_EQ(readFile(History::path()), file);
}

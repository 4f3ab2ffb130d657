// Synchronising the local folder from the remote one and back, by time and by size, against the
// real pyftpdlib server: which files travel, which stay, and how exactly times are compared.
#include "tests/ftpclient/window/MainWindowFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::MainWindow;
using harbel::test::PyFtpServer;
using harbel::test::readFile;
using harbel::test::setReg;
using harbel::test::writeFile;

namespace {

// Writes a file and sets its modification time to the millisecond.
void put(const QString& path, const QByteArray& data, const QDateTime& time)
{
    writeFile(path, data);
    const qint64 ms = time.toMSecsSinceEpoch();
    const timespec times[2] = {{time_t(ms / 1000), long(ms % 1000) * 1000000}, {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0) << path.toStdString();
}

// A time some days back, on a whole minute plus the given seconds and milliseconds.
QDateTime recent(int days, int seconds, int ms = 0)
{
    QDateTime t = QDateTime::currentDateTimeUtc().addDays(-days);
    t.setTime(QTime(t.time().hour(), t.time().minute()));
    return t.addMSecs(seconds * 1000 + ms);
}

// The commands of one kind ("RETR", "STOR") the client sent, in order.
QStringList sent(const QStringList& log, const QString& verb)
{
    QStringList out;
    for (const QString& line : log)
        if (line.startsWith(verb + ' '))
            out << line.mid(verb.size() + 1);
    return out;
}

}  // namespace

class DirectorySync : public MainWindow {
protected:
    void connectTo(PyFtpServer::Options options = {})
    {
        startServer(options);
        load();
        form->sLocalPath = local;
        quickConnect();
        ASSERT_EQ(form->sRemotePath, "/");
    }
    // The connection log from the next line on.
    QStringList logSince(qsizetype from) const { return form->lstConnectionInfo.Items().mid(from); }
    qsizetype logMark() const { return form->lstConnectionInfo.Items().size(); }
};

TEST_F(DirectorySync, LocalFromRemoteTakesMissingAndOlderFilesByTimeThenDifferentOnesBySize)
{
    const QDateTime t = recent(3, 25);
    put(root + "/missing.txt", "remote only", t);
    put(root + "/older-here.txt", "fresh remote text", t);
    put(local + "older-here.txt", "stale", t.addSecs(-3600));
    // The same second on both sides; the local copy carries a fraction the server never shows.
    put(root + "/same.txt", "same", t);
    put(local + "same.txt", "same", t.addMSecs(700));
    put(root + "/newer-here.txt", "remote version", t);
    put(local + "newer-here.txt", "edited here, longer", t.addSecs(600));
    // Names differ in case only: different files.
    put(root + "/Report.TXT", "upper", t);
    put(local + "report.txt", "lower", t.addSecs(-7200));
    // Folders on either side are not entered.
    QDir().mkpath(root + "/remote-dir");
    put(root + "/remote-dir/inner.txt", "inner", t);
    QDir().mkpath(local + "local-dir");
    connectTo();

    qsizetype mark = logMark();
    QStringList shown;
    answerExist(FileClash::Overwrite, std::nullopt, &shown);  // replace older-here.txt
    form->mnuDirSyncDown_Click();
    QStringList retr = sent(logSince(mark), "RETR");
    retr.sort();
    EXPECT_EQ(retr, (QStringList{"Report.TXT", "missing.txt", "older-here.txt"}));
    ASSERT_EQ(prompts.records().size(), 1);
    EXPECT_EQ(prompts.last().text, "frmExist");
    EXPECT_TRUE(shown.value(0).startsWith("The file '" + local + "older-here.txt' already exists in the local folder.")) << shown.value(0).toStdString();
    EXPECT_EQ(readFile(local + "missing.txt"), "remote only");
    EXPECT_EQ(readFile(local + "older-here.txt"), "fresh remote text");
    EXPECT_EQ(readFile(local + "newer-here.txt"), "edited here, longer");
    EXPECT_EQ(readFile(local + "Report.TXT"), "upper");
    EXPECT_EQ(readFile(local + "report.txt"), "lower");
    EXPECT_FALSE(QFileInfo::exists(local + "remote-dir"));
    EXPECT_EQ(form->lblStatus.Caption(), "Local Directory Sync Complete");
    EXPECT_EQ(form->MousePointer(), 0);
    EXPECT_FALSE(form->cmdAbort.Enabled());
    EXPECT_EQ(form->prgStatus.Value(), 0);
    EXPECT_TRUE(rows(form->lstLocalFileList).contains("missing.txt|F"));
    EXPECT_TRUE(rows(form->lstRemoteFileList).contains("remote-dir|D"));

    // A second run finds nothing to do: what arrived is newer than the server's copies.
    mark = logMark();
    form->mnuDirSyncDown_Click();
    EXPECT_EQ(sent(logSince(mark), "RETR"), QStringList());

    // By size: the edited local file differs in length and is replaced although newer; equal
    // sizes stay whatever their times.
    setReg("DIR SYNC BY FILE SIZE", "1");
    put(local + "same.txt", "SAME", t.addSecs(-86400));
    mark = logMark();
    answerExist(FileClash::Overwrite);
    form->mnuDirSyncDown_Click();
    EXPECT_EQ(sent(logSince(mark), "RETR"), QStringList{"newer-here.txt"});
    EXPECT_EQ(readFile(local + "newer-here.txt"), "remote version");
    EXPECT_EQ(readFile(local + "same.txt"), "SAME");
    EXPECT_EQ(form->lblStatus.Caption(), "Local Directory Sync Complete");
}

TEST_F(DirectorySync, RemoteFromLocalSendsMissingAndNewerFilesByTimeThenDifferentOnesBySize)
{
    const QDateTime t = recent(2, 41);
    put(local + "missing.txt", "local only", t);
    put(local + "newer-here.txt", "edited here", t.addSecs(900));
    put(root + "/newer-here.txt", "old", t);
    put(local + "same.txt", "same", t.addMSecs(999));
    put(root + "/same.txt", "same", t);
    put(local + "older-here.txt", "older local, longer", t.addSecs(-900));
    put(root + "/older-here.txt", "server copy", t);
    put(local + "Notes.txt", "capital", t.addSecs(-7200));
    put(root + "/notes.txt", "small", t);
    QDir().mkpath(local + "local-dir");
    put(local + "local-dir/inner.txt", "inner", t);
    QDir().mkpath(root + "/remote-dir");
    connectTo();

    qsizetype mark = logMark();
    form->mnuSyncDirUp_Click();
    QStringList stor = sent(logSince(mark), "STOR");
    stor.sort();
    EXPECT_EQ(stor, (QStringList{"Notes.txt", "missing.txt", "newer-here.txt"}));
    EXPECT_EQ(readFile(root + "/missing.txt"), "local only");
    EXPECT_EQ(readFile(root + "/newer-here.txt"), "edited here");
    EXPECT_EQ(readFile(root + "/older-here.txt"), "server copy");
    EXPECT_EQ(readFile(root + "/Notes.txt"), "capital");
    EXPECT_EQ(readFile(root + "/notes.txt"), "small");
    EXPECT_FALSE(QFileInfo::exists(root + "/local-dir"));
    EXPECT_EQ(form->lblStatus.Caption(), "Remote Directory Sync Complete");
    EXPECT_FALSE(form->lstDel.Visible());
    EXPECT_FALSE(form->cmbDel.Visible());
    EXPECT_TRUE(rows(form->lstRemoteFileList).contains("missing.txt|F"));
    EXPECT_EQ(form->MousePointer(), 0);

    // Again: the server's copies are now the newer ones.
    mark = logMark();
    form->mnuSyncDirUp_Click();
    EXPECT_EQ(sent(logSince(mark), "STOR"), QStringList());

    setReg("DIR SYNC BY FILE SIZE", "1");
    mark = logMark();
    form->mnuSyncDirUp_Click();
    EXPECT_EQ(sent(logSince(mark), "STOR"), QStringList{"older-here.txt"});
    EXPECT_EQ(readFile(root + "/older-here.txt"), "older local, longer");

    // A local folder that cannot be read stops the run, says so, and still cleans up.
    form->sLocalPath = local + "gone/";
    prompts.answer(MsgAnswer::Ok);  // the local pane's own "Cannot read the contents of"
    prompts.answer(MsgAnswer::Ok);  // ... and the list refreshed afterwards
    mark = logMark();
    form->mnuSyncDirUp_Click();
    EXPECT_TRUE(logSince(mark).contains("Cannot read the contents of " + local + "gone/"));
    EXPECT_EQ(sent(logSince(mark), "STOR"), QStringList());
    EXPECT_NE(form->lblStatus.Caption(), "Remote Directory Sync Complete");
    EXPECT_FALSE(form->lstDel.Visible());
    EXPECT_FALSE(form->cmdAbort.Enabled());
}

TEST_F(DirectorySync, EachDirectionAsksOnceAndStraightAfterTheOtherTransfersNothing)
{
    const QDateTime t = recent(2, 17, 250);
    put(local + "up.txt", "from here", t);
    for (const QString name : {"down1.txt", "down2.txt"}) {
        put(root + "/" + name, "from there", t);
        put(local + name, "stale", t.addSecs(-60));
    }
    connectTo();
    QStringList shown;
    answerExist(FileClash::Overwrite, std::nullopt, &shown);  // for both files
    for (const int transfers : {3, 0}) {
        const qsizetype mark = logMark();
        form->mnuDirSyncDown_Click();
        form->mnuSyncDirUp_Click();
        EXPECT_EQ(sent(logSince(mark), "RETR").size() + sent(logSince(mark), "STOR").size(), transfers);
    }
    EXPECT_TRUE(shown.size() == 1 && shown[0].endsWith(" [all]"));
}

// A LIST line shows minutes at best (only the day for older files), a local file has seconds and
// fractions: compared as they come, every file looked changed in one direction or the other.
TEST_F(DirectorySync, TimesAreComparedAsExactlyAsTheServerGivesThem)
{
    const QDateTime t = recent(1, 10);
    // Same second on both sides, listed without seconds.
    put(root + "/equal.txt", "equal", t);
    put(local + "equal.txt", "equal", t.addMSecs(400));
    // Same minute, fifty seconds apart: only MDTM can tell which is newer.
    put(root + "/remote-later.txt", "remote later", t.addSecs(45));
    put(local + "remote-later.txt", "local", t.addSecs(-5));
    // Older than half a year: LIST shows the day and the year only.
    const QDateTime old = QDateTime(QDate(2020, 3, 4), QTime(9, 15, 0), Qt::UTC);
    put(root + "/old.txt", "old remote", old);
    put(local + "old.txt", "old local", old.addSecs(3 * 3600));

    PyFtpServer::Options options;
    options.noMlsd = true;
    connectTo(options);
    qsizetype mark = logMark();
    answerExist(FileClash::Overwrite);  // remote-later.txt
    form->mnuDirSyncDown_Click();
    EXPECT_EQ(sent(logSince(mark), "RETR"), QStringList{"remote-later.txt"});
    EXPECT_FALSE(sent(logSince(mark), "MDTM").isEmpty());
    EXPECT_EQ(readFile(local + "remote-later.txt"), "remote later");
    // What arrived carries the time of its arrival; give it the server's again.
    put(local + "remote-later.txt", "remote later", t.addSecs(45).addMSecs(300));
    // Exact times: the local old.txt is three hours newer and equal.txt the same second.
    mark = logMark();
    form->mnuSyncDirUp_Click();
    EXPECT_EQ(sent(logSince(mark), "STOR"), QStringList{"old.txt"});
    EXPECT_EQ(readFile(root + "/equal.txt"), "equal");
}

TEST_F(DirectorySync, WithoutMdtmTimesAreComparedToTheListingsPrecision)
{
    const QDateTime t = recent(1, 10);
    put(root + "/equal.txt", "equal", t.addSecs(30));
    put(local + "equal.txt", "equal", t.addMSecs(49400));
    put(root + "/local-later.txt", "remote", t);
    put(local + "local-later.txt", "local, a minute later", t.addSecs(60));
    const QDateTime old = QDateTime(QDate(2020, 3, 4), QTime(9, 15, 0), Qt::UTC);
    put(root + "/old.txt", "old remote", old);
    put(local + "old.txt", "old local", old.addSecs(3 * 3600));

    PyFtpServer::Options options;
    options.noMlsd = true;
    options.noMdtm = true;
    connectTo(options);
    qsizetype mark = logMark();
    form->mnuDirSyncDown_Click();
    EXPECT_EQ(sent(logSince(mark), "RETR"), QStringList());
    EXPECT_EQ(logSince(mark).filter("The server does not tell exact file times").size(), 1);
    EXPECT_EQ(form->lblStatus.Caption(), "Local Directory Sync Complete");
    // Within the same listed minute, and the same listed day, nothing is taken for newer.
    mark = logMark();
    form->mnuSyncDirUp_Click();
    EXPECT_EQ(sent(logSince(mark), "STOR"), QStringList{"local-later.txt"});
    EXPECT_EQ(readFile(root + "/old.txt"), "old remote");
    EXPECT_EQ(readFile(root + "/equal.txt"), "equal");
}

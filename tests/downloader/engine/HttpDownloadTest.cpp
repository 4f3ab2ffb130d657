#include "downloader/window/frmDownload.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/main/frmExist.h"

#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "common/platform/Shell.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::ScriptedHttpServer;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::waitUntil;
using harbel::test::writeFile;

namespace {

void storeSetting(const char* key, const QString& value)
{
    CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QLatin1String(key), value);
}

QString storedSetting(const char* key)
{
    return CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QLatin1String(key), "<none>");
}

class HttpDownload : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        server.content = randomBytes(1000);
    }

    frmDownload* start(const QString& url, const QString& name = "file.bin")
    {
        frmDownload* job = windows.DownloadNow(url, folder + "/" + name, -1);
        EXPECT_NE(job, nullptr);
        return job;
    }
    // Waits until the job has completed or needs the user.
    bool finish(frmDownload* job, int timeoutMs = 8000)
    {
        bool stuck = false;
        QMetaObject::Connection c = QObject::connect(job, &frmDownload::needsUser, [&] { stuck = true; });
        const bool ended = waitUntil([&] { return job->isCompleted() || stuck; }, timeoutMs);
        QObject::disconnect(c);
        return ended && job->isCompleted();
    }
    QByteArray transferRequest(int index) const { return server.requests().value(index).text; }

    ScriptedHttpServer server;
    DownloadWindows windows;
};

}  // namespace

TEST_F(HttpDownload, ProbesThenFetchesTheFileAndMovesTheRow)
{
    frmDownload* job = start(server.url("dir/file.bin"));
    EXPECT_EQ(windows.connectingCount(), 1);
    ASSERT_TRUE(finish(job));

    const auto& r = server.requests();
    ASSERT_EQ(r.size(), 3);
    // The port is part of Host when it is not the scheme's own.
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n";
    EXPECT_EQ(r[0].text, "GET /dir/file.bin HTTP/1.1\r\n" + host + "Range: bytes=-\r\nUser-Agent: DM\r\n"
                         "Referer: 127.0.0.1\r\nAccept: *.*, */*\r\n\r\n");
    // The first probe was refused with 416: the next one asks from the start.
    EXPECT_EQ(r[1].text, "GET /dir/file.bin HTTP/1.1\r\n" + host + "Range: bytes=0-\r\nUser-Agent: DM\r\n"
                         "Referer: 127.0.0.1\r\nAccept: *.*, */*\r\n\r\n");
    EXPECT_EQ(r[2].text, "GET /dir/file.bin HTTP/1.1\r\n" + host + "Range: bytes=0-999\r\n"
                         "User-Agent: Vantor Segment 0\r\nAccept:  */*\r\n\r\n");
    EXPECT_TRUE(job->usesRangedArray());

    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);
    EXPECT_EQ(job->lblStatus.Caption(), "Complete");
    EXPECT_EQ(job->lblFileSize.Caption(), "1000 Bytes");
    EXPECT_EQ(job->lblRecievedSize.Caption(), "1000 Bytes");
    EXPECT_EQ(job->lblPer.Caption(), "100%");
    EXPECT_EQ(job->Caption(), "file.bin [100%]");
    EXPECT_EQ(job->cmdStop.Caption(), "&Close");
    EXPECT_FALSE(job->cmdPause.Enabled());
    EXPECT_TRUE(job->cmdOpen.Visible());
    EXPECT_EQ(job->intTransferRate, 0);
    EXPECT_FALSE(job->tmrUpdate.isEnabled());
    EXPECT_TRUE(job->strServerLog().contains("206 Partial Content"));

    EXPECT_EQ(windows.lstMain.count(), 0);
    ASSERT_EQ(windows.lstComplete.count(), 1);
    const ListRow* done = windows.lstComplete.at(0);
    EXPECT_EQ(done->SmallIcon(), 4);
    EXPECT_EQ(done->cell(DownloadRow::Filename), folder + "/file.bin");
    EXPECT_EQ(done->cell(DownloadRow::Percent), "100%");
    EXPECT_EQ(done->cell(DownloadRow::Size), "1000 Bytes");
    EXPECT_EQ(done->cell(DownloadRow::Status), "Complete");
    EXPECT_EQ(done->cell(DownloadRow::URL), server.url("dir/file.bin"));
    EXPECT_EQ(windows.connectingCount(), 0);

    EXPECT_EQ(storedSetting("Downloads"), "1");
    EXPECT_EQ(storedSetting("AllBytes"), "1000");
    EXPECT_TRUE(prompts.records().isEmpty());

    struct RecordingShell final : Shell {
        QStringList opened;
        bool open(const QString& path) override { opened << path; return true; }
        bool start(const QString&, const QStringList&) override { return true; }
    } shell;
    Shell::setInstance(&shell);
    job->cmdOpen_Click();
    job->cmdGotoDir_Click();
    Shell::setInstance(nullptr);
    EXPECT_EQ(shell.opened, QStringList({folder + "/file.bin", folder}));
}

TEST_F(HttpDownload, CompletionPromptAndClosingFollowTheSettings)
{
    storeSetting("PromptDone", "1");
    prompts.answer(MsgAnswer::Ok);
    frmDownload* job = start(server.url("a.bin"), "a.bin");
    ASSERT_TRUE(finish(job));
    ASSERT_EQ(prompts.records().size(), 1);
    EXPECT_EQ(prompts.last().text, "Download Successful.");
    EXPECT_TRUE(prompts.last().title.endsWith(" - a.bin")) << prompts.last().title.toStdString();  // names its file
    EXPECT_EQ(prompts.last().icon, MsgIcon::Information);
    EXPECT_TRUE(job->Visible());

    storeSetting("PromptDone", "True");  // only "1" switches the prompt on
    storeSetting("CloseDownloadWindowWhenDone", "1");
    frmDownload* second = start(server.url("b.bin"), "b.bin");
    ASSERT_TRUE(finish(second));
    EXPECT_EQ(prompts.records().size(), 1);
    EXPECT_FALSE(second->Visible());
    EXPECT_EQ(storedSetting("Downloads"), "2");
    EXPECT_EQ(storedSetting("AllBytes"), "2000");
}

TEST_F(HttpDownload, ResumesAnExistingFileFromItsEndLessTheRollback)
{
    SettingsStore::instance().record.Rollback = 100;
    writeFile(folder + "/file.bin", server.content.left(601));
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(finish(job));
    ASSERT_EQ(server.requests().size(), 3);
    EXPECT_EQ(server.requests()[2].range(), "bytes=500-999");
    EXPECT_EQ(prompts.records()[0].text, "frmExist");
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);
}

TEST_F(HttpDownload, ServerIgnoringTheRangeOnResumeRestartsTheDataAtZero)
{
    SettingsStore::instance().record.Rollback = 100;
    server.ignoreRange = true;
    // The kept part is wrong: with the range ignored every byte must come from the server.
    writeFile(folder + "/file.bin", QByteArray(601, 'x'));
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(finish(job));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1].range(), "bytes=500-999");
    EXPECT_FALSE(job->usesRangedArray());
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);

    // A file on disk larger than the one on the server is not the start of it: it is left alone.
    const QByteArray longer = QByteArray(1500, 'L');
    writeFile(folder + "/long.bin", longer);
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
    frmDownload* other = start(server.url("long.bin"), "long.bin");
    EXPECT_FALSE(finish(other));
    EXPECT_EQ(other->lblStatus.Caption(), "Failed: The file on disk is larger than the file on the server, so it cannot be resumed.");
    EXPECT_EQ(readFile(folder + "/long.bin"), longer);
}

TEST_F(HttpDownload, RangeIgnoredMidFileIsTakenFromTheStart)
{
    SettingsStore::instance().record.Rollback = 100;
    writeFile(folder + "/file.bin", server.content.left(400) + QByteArray(201, 'z'));
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
    // Probes are answered normally; the transfer reply ignores the range.
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
        if (!r.text.contains("Vantor Segment"))
            return false;
        s.write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + server.content);
        s.disconnectFromHost();
        return true;
    };
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(server.requests().last().range(), "bytes=500-999");
    EXPECT_EQ(job->lblResume.Caption(), "**RESUME NOT SUPPORTED**");
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);
}

TEST_F(HttpDownload, SplitHeadsAreReassembledAndBodyTextIsNeverTakenForAHead)
{
    server.content = randomBytes(3000);
    server.content.replace(1000, 60, QByteArray("\r\nHTTP/1.1 200 OK\r\nContent-Type: text/html\r\nLocation: x\r\n\r\n").leftJustified(60, 'q'));
    server.splitHeadEvery = 7;
    frmDownload* job = start(server.url("split.bin"), "split.bin");
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(readFile(folder + "/split.bin"), server.content);
}

TEST_F(HttpDownload, DroppedConnectionIsResumedAndOnlyTheFullSizeCompletes)
{
    server.dropRange = "bytes=0-999";
    server.dropAfterBytes = 300;
    bool completedEarly = false;
    frmDownload* job = start(server.url("file.bin"));
    QObject::connect(job, &frmDownload::completed, [&] { completedEarly = job->GetReceivedBytes() < 1000; });
    ASSERT_TRUE(finish(job));
    EXPECT_FALSE(completedEarly);
    ASSERT_EQ(server.requests().size(), 4);
    EXPECT_EQ(server.requests()[3].range(), "bytes=300-999");
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);
}

TEST_F(HttpDownload, ConnectionErrorIsReportedAndThePartStaysClosed)
{
    // Part of the file, then the connection drops and the server is gone.
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
        if (r.range() != "bytes=0-999")
            return false;
        s.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 1000\r\nContent-Range: bytes 0-999/1000\r\n\r\n"
                + server.content.left(300));
        s.flush();
        server.stopListening();
        s.disconnectFromHost();
        return true;
    };
    prompts.answer(MsgAnswer::Ok);
    frmDownload* job = start(server.url("file.bin"));
    // The reconnection is refused: an error box, and the job waits for the user.
    EXPECT_FALSE(finish(job));
    ASSERT_EQ(prompts.records().size(), 1);
    EXPECT_EQ(prompts.last().title, "Error");
    EXPECT_TRUE(prompts.last().text.startsWith("Error was occurred.\r\n0\r\n")) << prompts.last().text.toStdString();
    EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
    EXPECT_FALSE(job->isCompleted());
    EXPECT_EQ(job->GetReceivedBytes(), 300);
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content.left(300));
}

TEST_F(HttpDownload, ProbeReplyCutOffInsideItsHeadEndsWithAStatus)
{
    server.script("HTTP/1.1 200 OK\r\nContent-Len");
    frmDownload* job = start(server.url("cut.bin"), "cut.bin");
    EXPECT_FALSE(finish(job));
    EXPECT_EQ(job->lblStatus.Caption(), "Failed: The server's reply is not a valid HTTP reply.");
    EXPECT_FALSE(QFile::exists(folder + "/cut.bin"));
}

TEST_F(HttpDownload, ShortPartialReplyOnAKeptConnectionIsAskedAgain)
{
    server.keepAlive = true;
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
        if (r.range() != "bytes=0-999")
            return false;
        s.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 500\r\nContent-Range: bytes 0-499/1000\r\n\r\n"
                + server.content.left(500));
        return true;
    };
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(server.requests().last().range(), "bytes=500-999");
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);
}

TEST_F(HttpDownload, PartialRepliesThatDoNotMatchStopTheJobAndKeepTheFile)
{
    struct Case {
        QByteArray contentRange;
        QString status;
    };
    const QList<Case> cases{
        {"bytes 5-999/1000", "The server sent another part of the file than the one asked for; the download was stopped."},
        {"bytes 0-999/2000", "The file on the server has changed size; the download was stopped."},
    };
    int n = 0;
    for (const Case& c : cases) {
        server.handler = [&](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
            if (!r.text.contains("Vantor Segment"))
                return false;
            s.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 995\r\nContent-Range: " + c.contentRange + "\r\n\r\n"
                    + server.content.mid(5));
            s.disconnectFromHost();
            return true;
        };
        const QString name = QString("f%1.bin").arg(++n);
        frmDownload* job = start(server.url(name), name);
        EXPECT_FALSE(finish(job));
        EXPECT_EQ(job->lblStatus.Caption(), "Failed: " + c.status);
        EXPECT_FALSE(job->isCompleted());
        EXPECT_EQ(windows.lstComplete.count(), 0);
        EXPECT_TRUE(QFile::exists(folder + "/" + name));
        EXPECT_EQ(readFile(folder + "/" + name).size(), 0);
    }
}

TEST_F(HttpDownload, FieldNamesAreMatchedInAnyLetterCase)
{
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
        const QByteArray range = r.range();
        if (range == "bytes=-")
            return false;  // the usual 416
        s.write("HTTP/1.1 206 Partial Content\r\ncontent-length: 1000\r\nCONTENT-RANGE: bytes 0-999/1000\r\n\r\n"
                + server.content);
        s.disconnectFromHost();
        return true;
    };
    frmDownload* job = start(server.url("lower.bin"), "lower.bin");
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->contentLength(), 1000);
    EXPECT_EQ(readFile(folder + "/lower.bin"), server.content);
}

TEST_F(HttpDownload, EmptyFileIsCreatedAndCompleted)
{
    server.content.clear();
    frmDownload* job = start(server.url("empty.txt"), "empty.txt");
    ASSERT_TRUE(finish(job));
    EXPECT_TRUE(QFile::exists(folder + "/empty.txt"));
    EXPECT_EQ(readFile(folder + "/empty.txt").size(), 0);
    EXPECT_EQ(job->lblStatus.Caption(), "Complete");
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(HttpDownload, EveryStatusMessageIsShownAndEndsTheJob)
{
    const QList<QPair<int, QString>> table{
        {400, "HTTP 400-Bad Request"},
        {401, "HTTP 401.x-You are not authorized to view this page"},
        {403, "HTTP 403.x - Forbidden: Access Denied"},
        {404, "HTTP 404-Object Not Found"},
        {405, "HTTP 405 - Resource Not Allowed"},
        {406, "HTTP Error 406 - Not Acceptable"},
        {407, "HTTP 407 - Proxy Authentication Required"},
        {410, "HTTP Error 410 - Permanently not available"},
        {412, "HTTP 412 - Precondition Failed"},
        {414, "HTTP 414 - Request - URI Too Long"},
        {500, "HTTP Error 500-Server Error - The server failed to fulfill an apparently valid request"},
        {501, "Error 501 - Not implemented"},
        {502, "HTTP 502 - Bad Gateway"},
    };
    for (const auto& [code, message] : table) {
        server.script("HTTP/1.1 " + QByteArray::number(code) + " Whatever\r\nContent-Length: 0\r\n\r\n");
        frmDownload* job = start(server.url("x.bin"), QString("x%1.bin").arg(code));
        EXPECT_FALSE(finish(job));
        EXPECT_EQ(job->lblStatus.Caption(), "Failed: " + message);
        ASSERT_TRUE(job->lstItem);
        EXPECT_EQ(job->lstItem->cell(DownloadRow::Status), "Failed: " + message);
        EXPECT_EQ(job->lstItem->cell(DownloadRow::Percent), "0 %");
        EXPECT_FALSE(job->cmdPause.Enabled());
        EXPECT_FALSE(job->cmdStop.Enabled());
    }
    // Nothing more was asked after any of them.
    EXPECT_EQ(server.requests().size(), table.size());
}

TEST_F(HttpDownload, RedirectsAreFollowedAndTheFifthRestartsTheJob)
{
    ScriptedHttpServer target;
    target.content = server.content;
    server.script("HTTP/1.1 302 Found\r\nLocation: " + target.url("real/file.bin").toUtf8() + "\r\nContent-Length: 0\r\n\r\n");
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(target.requests()[0].text.left(27), "GET /real/file.bin HTTP/1.1");
    EXPECT_EQ(job->txtURL.Text(), " " + target.url("real/file.bin"));
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);

    // Four redirections re-aim the probe; the fifth starts the job again from the new address.
    for (int i = 1; i <= 5; ++i)
        server.script("HTTP/1.1 301 Moved\r\nLocation: /hop" + QByteArray::number(i) + "/g.bin\r\nContent-Length: 0\r\n\r\n");
    frmDownload* second = start(server.url("g.bin"), "g.bin");
    QList<bool> countdownArmed;
    QObject::connect(second, &frmDownload::connectingChanged, [&](bool on) { countdownArmed << on; });
    ASSERT_TRUE(finish(second));
    EXPECT_EQ(second->redirects(), 5);
    EXPECT_EQ(countdownArmed, QList<bool>({true, false}));  // one restart, then the completion
    EXPECT_EQ(server.requests()[6].text.left(24), "GET /hop5/g.bin HTTP/1.1");
    EXPECT_EQ(server.requests()[6].range(), "bytes=-");
    EXPECT_EQ(readFile(folder + "/g.bin"), server.content);
}

TEST_F(HttpDownload, AddressFromARedirectCannotAddLinesToTheRequest)
{
    server.script("HTTP/1.1 302 Found\r\nLocation: /a\nX-Evil: 1\r/b\x01\xc3\xa9.bin\r\nContent-Length: 0\r\n\r\n");
    frmDownload* job = start(server.url("start.bin"), "start.bin");
    ASSERT_TRUE(finish(job));
    const QByteArray request = server.requests()[1].text;
    EXPECT_EQ(request.left(request.indexOf("\r\n")), "GET /a%0AX-Evil:%201%0D/b%01%C3%A9.bin HTTP/1.1");
    EXPECT_FALSE(request.contains("\nX-Evil"));
    EXPECT_EQ(readFile(folder + "/start.bin"), server.content);
}

TEST_F(HttpDownload, EndlessRedirectionsEndWithAStatus)
{
    server.handler = [](const ScriptedHttpServer::Request&, QTcpSocket& s) {
        s.write("HTTP/1.1 302 Found\r\nLocation: /again.bin\r\nContent-Length: 0\r\n\r\n");
        s.disconnectFromHost();
        return true;
    };
    frmDownload* job = start(server.url("loop.bin"), "loop.bin");
    EXPECT_FALSE(finish(job));
    EXPECT_EQ(job->lblStatus.Caption(), "Failed: The server redirected the download too many times.");
}

TEST_F(HttpDownload, RepliesWithoutALengthGetAStatusOrTheirEmbeddedLink)
{
    server.script("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    frmDownload* job = start(server.url("c.bin"), "c.bin");
    EXPECT_FALSE(finish(job));
    EXPECT_EQ(job->lblStatus.Caption(), "Failed: The server did not announce the size of the file, so it cannot be downloaded safely.");

    // A page without a length that embeds the real address is followed there.
    server.script("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html><embed src='" + server.url("mirror/e.bin").toUtf8()
                  + "'></html>");
    frmDownload* linked = start(server.url("e.bin"), "e.bin");
    ASSERT_TRUE(finish(linked));
    EXPECT_EQ(server.requests().last().text.left(25), "GET /mirror/e.bin HTTP/1.");
    EXPECT_EQ(readFile(folder + "/e.bin"), server.content);
}

TEST_F(HttpDownload, PauseAndResumeMidFile)
{
    SettingsStore::instance().record.Rollback = 100;
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
        if (r.range() != "bytes=0-999")
            return false;
        // Part of the file, then the server goes quiet.
        s.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 1000\r\nContent-Range: bytes 0-999/1000\r\n\r\n"
                + server.content.left(400));
        return true;
    };
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(waitUntil([&] { return job->GetReceivedBytes() == 400; }));
    job->tmrUpdate_Timer();
    EXPECT_EQ(job->lblRecievedSize.Caption(), "400 Bytes");

    job->Pause_Resume();
    EXPECT_EQ(job->cmdPause.Caption(), "&Resume");
    EXPECT_FALSE(job->cmdStop.Enabled());
    EXPECT_EQ(job->lstItem->cell(DownloadRow::Status), "Paused");
    EXPECT_EQ(job->intTransferRate, 0);

    job->Pause_Resume();
    EXPECT_EQ(job->cmdPause.Caption(), "&Pause");
    EXPECT_TRUE(job->cmdStop.Enabled());
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(server.requests().last().range(), "bytes=300-999");
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);

    // Pause on a completed job does nothing.
    job->Pause_Resume();
    EXPECT_EQ(job->cmdPause.Caption(), "&Pause");

    // While paused, the file is cut short (or removed): the job goes on from what the file really
    // holds instead of writing at its old offset and leaving a hole of zeros.
    for (const qint64 left : {qint64(150), qint64(-1)}) {
        SCOPED_TRACE(left);
        bool partial = true;
        server.handler = [this, &partial](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
            if (r.range() != "bytes=0-999" || !partial)
                return false;
            partial = false;
            s.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 1000\r\nContent-Range: bytes 0-999/1000\r\n\r\n"
                    + server.content.left(400));
            return true;
        };
        frmDownload* again = start(server.url("file.bin"), "cut.bin");
        ASSERT_TRUE(waitUntil([&] { return again->GetReceivedBytes() == 400; }));
        again->Pause_Resume();
        if (left < 0)
            QFile::remove(folder + "/cut.bin");
        else
            QFile(folder + "/cut.bin").resize(left);
        again->Pause_Resume();
        ASSERT_TRUE(finish(again));
        EXPECT_EQ(server.requests().last().range(), left < 0 ? "bytes=0-999" : "bytes=150-999");
        EXPECT_EQ(readFile(folder + "/cut.bin"), server.content);
        QFile::remove(folder + "/cut.bin");
    }
}

TEST_F(HttpDownload, StopShowsTheStoppedStateAndCloseClosesTheWindow)
{
    server.stall = true;
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(server.waitForRequests(1));
    job->StopMe();
    EXPECT_EQ(job->lblStatus.Caption(), "Stopped");
    EXPECT_EQ(job->lstItem->cell(DownloadRow::Status), "Stopped");  // not the pause's word
    EXPECT_EQ(entryOf(*job->lstItem).status, "Transfer Stopped");  // as History.ini keeps it
    EXPECT_EQ(job->cmdStop.Caption(), "&Close");
    EXPECT_TRUE(job->cmdStop.Enabled());
    EXPECT_FALSE(job->cmdPause.Enabled());
    EXPECT_EQ(job->lblTransferRate.Caption(), "");
    EXPECT_TRUE(job->Visible());
    job->StopMe();
    EXPECT_FALSE(job->Visible());
}

TEST_F(HttpDownload, CancelledFileExistsQuestionClosesTheWindowWithoutConnecting)
{
    writeFile(folder + "/file.bin", "keep me");
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).Command3_Click(); });
    frmDownload* job = start(server.url("file.bin"));
    EXPECT_FALSE(job->Visible());
    EXPECT_EQ(SettingsStore::instance().FileExistsAction, -2);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(readFile(folder + "/file.bin"), "keep me");

    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdOverwrite_Click(); });
    frmDownload* again = start(server.url("file.bin"));
    ASSERT_TRUE(finish(again));
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);
}

TEST_F(HttpDownload, CountdownRetriesThenGivesUp)
{
    DownloadSettings& s = SettingsStore::instance().record;
    s.Timeout = 1;
    s.Retry = true;
    s.Retries = 1;
    server.stall = true;
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(server.waitForRequests(1));
    job->tmrTimeOut_Timer();
    EXPECT_EQ(job->lblTimer.Caption(), "Timeout: 0 sec.");
    EXPECT_EQ(job->lblStatus.Caption(), "Connection has timed out.");
    EXPECT_EQ(job->lstItem->cell(DownloadRow::Percent), "Connection has timed out.");
    EXPECT_EQ(job->retries(), 1);
    EXPECT_TRUE(job->tmrTimeOut.isEnabled());
    ASSERT_TRUE(server.waitForRequests(2));
    job->tmrTimeOut_Timer();
    EXPECT_EQ(job->retries(), 1);
    EXPECT_FALSE(job->tmrTimeOut.isEnabled());

    s.Retry = false;
    frmDownload* other = start(server.url("other.bin"), "other.bin");
    other->tmrTimeOut_Timer();
    EXPECT_EQ(other->retries(), 0);
    EXPECT_FALSE(other->tmrTimeOut.isEnabled());

    // A countdown longer than 32,767 ticks counts down like a short one instead of running out at once.
    s.Timeout = 40000;
    frmDownload* patient = start(server.url("patient.bin"), "patient.bin");
    patient->tmrTimeOut_Timer();
    EXPECT_EQ(patient->lblTimer.Caption(), "Timeout: 39999 sec.");
    EXPECT_NE(patient->lblStatus.Caption(), "Connection has timed out.");
    EXPECT_TRUE(patient->tmrTimeOut.isEnabled());
}

TEST_F(HttpDownload, ProbeThatStopsInsideItsHeadOrItsPageIsTimedOut)
{
    // The first bytes of a reply do not end the countdown: a server that goes silent before its
    // head is whole, or part-way through a page searched for a link, is timed out and asked again.
    DownloadSettings& s = SettingsStore::instance().record;
    s.Timeout = 1;
    s.Retry = true;
    s.Retries = 1;
    const QByteArray replies[] = {"HTTP/1.1 200 OK\r\nContent-Le",
                                  "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html><p>"};
    int n = 0;
    for (const QByteArray& reply : replies) {
        SCOPED_TRACE(reply.toStdString());
        int answered = 0;
        server.handler = [&](const ScriptedHttpServer::Request&, QTcpSocket& socket) {
            ++answered;
            socket.write(reply);
            // A second piece, so that the job sees more than one arrival.
            QTimer::singleShot(20, &socket, [&socket] { socket.write("<p>"); });
            return true;  // and never more
        };
        const QString name = QStringLiteral("silent%1.bin").arg(n++);
        frmDownload* job = start(server.url(name), name);
        ASSERT_TRUE(waitUntil([&] { return answered == 1; }));
        test::runFor(200);
        EXPECT_TRUE(job->tmrTimeOut.isEnabled());
        job->tmrTimeOut_Timer();
        EXPECT_EQ(job->retries(), 1);
        ASSERT_TRUE(waitUntil([&] { return answered == 2; }));
        test::runFor(200);
        EXPECT_TRUE(job->tmrTimeOut.isEnabled());
        bool stuck = false;
        QObject::connect(job, &frmDownload::needsUser, [&] { stuck = true; });
        job->tmrTimeOut_Timer();
        EXPECT_TRUE(stuck);
        EXPECT_EQ(job->lblStatus.Caption(), "Failed: Connection has timed out.");
        EXPECT_FALSE(job->isCompleted());
    }
}

TEST_F(HttpDownload, RedirectionToAServerThatNeverAnswersIsTimedOut)
{
    SettingsStore::instance().record.Timeout = 1;
    ScriptedHttpServer target;
    target.stall = true;
    server.script("HTTP/1.1 302 Found\r\nLocation: " + target.url("far.bin").toUtf8() + "\r\nContent-Length: 0\r\n\r\n");
    frmDownload* job = start(server.url("near.bin"), "near.bin");
    ASSERT_TRUE(target.waitForRequests(1));
    EXPECT_TRUE(job->tmrTimeOut.isEnabled());
    job->tmrTimeOut_Timer();
    EXPECT_EQ(job->retries(), 1);
    EXPECT_TRUE(target.waitForRequests(2));
}

TEST_F(HttpDownload, RedirectionToAnAddressOfAnotherKindEndsWithAStatus)
{
    for (const QByteArray& location : {QByteArray("gopher://127.0.0.1:1/s.bin"), QByteArray("file:///etc/passwd")}) {
        SCOPED_TRACE(location.toStdString());
        server.script("HTTP/1.1 301 Moved\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n");
        frmDownload* job = start(server.url("s.bin"), "s.bin");
        EXPECT_FALSE(finish(job));
        EXPECT_EQ(job->lblStatus.Caption(),
                  "Failed: The server redirected the download to an address that cannot be fetched: " + QString::fromLatin1(location));
        EXPECT_FALSE(job->FTPMODE);
        EXPECT_FALSE(job->tmrTimeOut.isEnabled());
    }
}

TEST_F(HttpDownload, RateTick)
{
    server.content = randomBytes(10000);
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& sock) {
        if (r.range() != "bytes=0-9999")
            return false;
        sock.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 10000\r\nContent-Range: bytes 0-9999/10000\r\n\r\n"
                   + server.content.left(5000));
        return true;
    };
    frmDownload* job = start(server.url("r.bin"), "r.bin");
    ASSERT_TRUE(waitUntil([&] { return job->GetReceivedBytes() == 5000; }));
    job->tmrUpdate2_Timer();
    EXPECT_EQ(job->lblTransferRate.Caption(), "1.95 KB/s");  // 5000 bytes in one 2.5 s tick
    EXPECT_EQ(job->intTransferRate, 2000);
    EXPECT_EQ(job->lblTimeRemaining.Caption(), "00:00:02");
    job->tmrUpdate2_Timer();
    EXPECT_EQ(job->intTransferRate, 2000);  // a tick without data: those bytes are still in the last seconds
}

TEST_F(HttpDownload, ProgressMeasuresRateTimeLeftAndElapsedTimeByTheJobsClock)
{
    server.content = randomBytes(10000);
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& sock) {
        if (r.range() != "bytes=0-9999")
            return false;
        sock.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 10000\r\nContent-Range: bytes 0-9999/10000\r\n\r\n"
                   + server.content.left(5000));
        return true;
    };
    qint64 now = 0;
    frmDownload* window = start(server.url("c.bin"), "c.bin");
    DownloadJob& job = window->job();
    job.setClock([&now] { return now; });
    ASSERT_TRUE(waitUntil([&] { return job.receivedBytes() == 5000; }));
    // The ticks are taken by hand from here on.
    job.progressTimer.setEnabled(false);
    job.rateTimer.setEnabled(false);
    QList<Progress::Changes> published;
    QObject::connect(&job, &DownloadJob::progressChanged, [&](const Progress&, Progress::Changes c) { published << c; });

    now += 4000;  // 5000 bytes in four seconds
    job.rateTick();
    job.progressTick();
    const Progress& p = job.progress();
    EXPECT_EQ(p.received, 5000);
    EXPECT_EQ(p.rate, 1250);
    EXPECT_EQ(p.timeLeft, 4);  // the other 5000 bytes at that rate
    EXPECT_EQ(p.elapsed, 4);
    ASSERT_EQ(published.size(), 2);
    EXPECT_TRUE(published[0].testFlags(Progress::RateChanged | Progress::TimeLeftChanged));
    EXPECT_TRUE(published[1].testFlag(Progress::ElapsedChanged));
    EXPECT_EQ(window->lblTransferRate.Caption(), "1.22 KB/s");
    EXPECT_EQ(window->lblTimeRemaining.Caption(), "00:00:04");
    EXPECT_EQ(window->lblElapsedTime.Caption(), "00:00:04");

    now += 10000;  // nothing in ten seconds: no rate now, and nothing for the total; the time left stays
    job.rateTick();
    EXPECT_EQ(p.rate, 0);
    EXPECT_EQ(p.lastRate, 1250);
    EXPECT_EQ(p.timeLeft, 4);
    EXPECT_EQ(window->intTransferRate, 0);
}

TEST_F(HttpDownload, ProxyCredentialsGoOnlyToTheProxyInAbsoluteFormRequests)
{
    DownloadSettings& s = SettingsStore::instance().record;
    s.UseProxy = false;
    s.LoginProxy = true;
    s.UsePass = false;
    s.UserID = "";
    s.ProxyServer = "127.0.0.1";
    s.ProxyPort = server.port();
    // Without "Use Proxy Server" nothing of the proxy goes anywhere.
    ASSERT_TRUE(finish(start(server.url("d.bin"), "d.bin")));
    ASSERT_EQ(server.requests().size(), 3);
    for (const auto& r : server.requests())
        EXPECT_FALSE(r.text.contains("Proxy-Authorization")) << r.text.toStdString();

    // With it, every request goes to the proxy (this server plays one), naming the whole address.
    s.UseProxy = true;
    ASSERT_TRUE(finish(start("http://origin.test:8080/dir/p.bin", "p.bin")));
    ASSERT_EQ(server.requests().size(), 6);
    const QByteArray target = "GET http://origin.test:8080/dir/p.bin HTTP/1.1\r\nHost: origin.test:8080\r\n";
    EXPECT_EQ(server.requests()[3].text, target + "Range: bytes=-\r\nUser-Agent: DM\r\nReferer: origin.test\r\n"
                                                  "Accept: *.*, */*\r\nProxy-Authorization: Basic Og==\r\n\r\n");
    EXPECT_EQ(server.requests()[5].text, target + "Range: bytes=0-999\r\nUser-Agent: Vantor Segment 0\r\n"
                                                  "Accept:  */*\r\nProxy-Authorization: Basic Og==\r\n\r\n");
    EXPECT_EQ(readFile(folder + "/p.bin"), server.content);

    // The default port is not written; without LoginProxy no credentials go even to the proxy.
    s.LoginProxy = false;
    ASSERT_TRUE(finish(start("http://origin.test/q.bin", "q.bin")));
    EXPECT_TRUE(server.requests().last().text.startsWith("GET http://origin.test/q.bin HTTP/1.1\r\n"));
    for (const auto& r : server.requests().mid(6))
        EXPECT_FALSE(r.text.contains("Proxy-Authorization")) << r.text.toStdString();
}

TEST_F(HttpDownload, WatchdogRestartsAStalledDownloadButNeverOneTheUserPausedOrStopped)
{
    SettingsStore::instance().record.Rollback = 100;
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
        if (r.range() != "bytes=0-999")
            return false;
        s.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 1000\r\nContent-Range: bytes 0-999/1000\r\n\r\n"
                + server.content.left(600));
        return true;
    };
    // A download the user paused, or stopped after the watchdog paused it, stays so at every tick.
    for (const bool stop : {false, true}) {
        frmDownload* job = start(server.url("file.bin"), stop ? "stopped.bin" : "paused.bin");
        ASSERT_TRUE(waitUntil([&] { return job->GetReceivedBytes() == 600; }));
        job->tmrUpdate2_Timer();  // the rate sample remembers 600
        stop ? job->tmrReconnect_Timer() : job->Pause_Resume();
        if (stop) {
            job->StopMe();
            EXPECT_EQ(job->lblStatus.Caption(), "Stopped");
        }
        const qsizetype requests = server.requests().size();
        for (int tick = 0; tick < 3; ++tick)
            job->tmrReconnect_Timer();
        EXPECT_EQ(job->cmdPause.Caption(), "&Resume") << stop;
        EXPECT_EQ(server.requests().size(), requests) << stop;
    }

    // A running download that stalls is paused at one tick and resumed at the next, into its file.
    frmDownload* job = start(server.url("file.bin"));
    ASSERT_TRUE(waitUntil([&] { return job->GetReceivedBytes() == 600; }));
    EXPECT_TRUE(job->tmrReconnect.isEnabled());
    EXPECT_EQ(job->tmrReconnect.Interval(), 300);
    job->tmrUpdate2_Timer();
    job->tmrReconnect_Timer();  // nothing new since: paused
    EXPECT_EQ(job->cmdPause.Caption(), "&Resume");
    job->tmrReconnect_Timer();  // still nothing new: resumed
    EXPECT_EQ(job->cmdPause.Caption(), "&Pause");
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(server.requests().last().range(), "bytes=500-999");
    EXPECT_EQ(readFile(folder + "/file.bin"), server.content);

    // Restarts that bring nothing new are bounded: after Retries of them in a row the download
    // stops as timed out, with its file and control file kept for a resume.
    SettingsStore::instance().record.Rollback = 1000;  // each restart asks for 0-999 and gets the 600 again
    SettingsStore::instance().record.Retries = 1;
    frmDownload* stuck = start(server.url("file.bin"), "stuck.bin");
    for (int restart = 0; restart < 2; ++restart) {
        ASSERT_TRUE(waitUntil([&] { return stuck->GetReceivedBytes() == 600; }));
        stuck->tmrUpdate2_Timer();
        stuck->tmrReconnect_Timer();  // the first stall pauses and the next tick resumes; the second times out
        stuck->tmrReconnect_Timer();
    }
    EXPECT_EQ(stuck->lblStatus.Caption(), "Failed: Connection has timed out.");
    EXPECT_FALSE(stuck->tmrReconnect.isEnabled());
    EXPECT_EQ(readFile(folder + "/stuck.bin"), server.content.left(600));
    EXPECT_TRUE(QFileInfo::exists(ControlFile::pathFor(folder + "/stuck.bin")));
}

// What the window and its row show in each state: the state in words, the bar at the share that
// is in (also once stopped), and a rate only while bytes come: the bytes of this run over the
// last seconds, never what a resumed file held already.
TEST_F(HttpDownload, EveryStateShowsItsWordsItsShareAndTheRateOfThisRun)
{
    server.content = randomBytes(10000);
    // A transfer from the file's start gets 2700 bytes, one from further on 5000; then they wait.
    server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& sock) {
        const QByteArray range = r.range();
        if (!range.startsWith("bytes=") || !range.endsWith("-9999"))
            return false;
        const qint64 first = range.mid(6, range.indexOf('-') - 6).toLongLong();
        sock.write("HTTP/1.1 206 Partial Content\r\nContent-Length: " + QByteArray::number(10000 - first)
                   + "\r\nContent-Range: bytes " + QByteArray::number(first) + "-9999/10000\r\n\r\n"
                   + server.content.mid(first, first == 0 ? 2700 : 5000));
        return true;
    };
    qint64 now = 0;
    frmDownload* job = start(server.url("s.bin"), "s.bin");
    job->job().setClock([&now] { return now; });
    const QPointer<ListRow> row = job->lstItem;
    // Bytes arrive, and the rate is taken 2.5 seconds after the run began.
    const auto receive = [&](qint64 bytes) {
        ASSERT_TRUE(waitUntil([&] { return job->GetReceivedBytes() == bytes; }));
        now += 2500;
        job->tmrUpdate2_Timer();
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        QString status;
        int bar;
        QString rate;
    };
    const Step steps[] = {
        {"asking the server", [] {}, "Connecting", 0, ""},
        {"27 % in", [&] { receive(2700); }, "Downloading", 27, "1.05 KB/s"},  // 2700 bytes in 2.5 s
        {"paused", [&] { job->Pause_Resume(); }, "Paused", 27, ""},
        {"stopped", [&] { job->StopMe(); }, "Stopped", 27, ""},
        {"resumed from the file", [&] {
             prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
             windows.ReDownloadRow(server.url("s.bin"), folder + "/s.bin", 1, row);
             receive(7700);
         }, "Downloading", 77, "1.95 KB/s"},  // the 5000 bytes of this run, not the 2700 kept
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(job->lblStatus.Caption(), step.status) << step.what;
        ASSERT_TRUE(row);
        EXPECT_EQ(row->cell(DownloadRow::Status), step.status) << step.what;
        EXPECT_EQ(job->PVProgressBar[0]->Value(), step.bar) << step.what;
        EXPECT_EQ(job->lblTransferRate.Caption(), step.rate) << step.what;
        EXPECT_EQ(job->intTransferRate > 0, !step.rate.isEmpty()) << step.what;
        EXPECT_EQ(job->lblTimeRemaining.Caption().isEmpty(), step.rate.isEmpty()) << step.what;
    }

    // A refusal says why it failed; a download that ends shows its share whole and its average.
    server.handler = nullptr;
    server.script("HTTP/1.1 404 Whatever\r\nContent-Length: 0\r\n\r\n");
    frmDownload* refused = start(server.url("x.bin"), "x.bin");
    EXPECT_FALSE(finish(refused));
    EXPECT_EQ(refused->lblStatus.Caption(), "Failed: HTTP 404-Object Not Found");
    EXPECT_EQ(refused->lstItem->cell(DownloadRow::Status), "Failed: HTTP 404-Object Not Found");
    frmDownload* done = start(server.url("d.bin"), "d.bin");
    ASSERT_TRUE(finish(done));
    EXPECT_EQ(done->lblStatus.Caption(), "Complete");
    EXPECT_EQ(windows.lstComplete.at(windows.lstComplete.count() - 1)->cell(DownloadRow::Status), "Complete");
    EXPECT_EQ(done->PVProgressBar[0]->Value(), 100);
    EXPECT_TRUE(done->lblTransferRate.Caption().endsWith("/s"));
    EXPECT_EQ(done->intTransferRate, 0);
}

// HTTP downloads against a scripted server: the transfer, resuming, the replies a server may give
// and redirections.

#include "downloader/window/frmDownload.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/main/frmExist.h"

#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "common/platform/Shell.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/downloader/engine/HttpDownloadFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::HttpDownload;
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

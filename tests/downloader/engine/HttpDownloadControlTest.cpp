// HTTP downloads against a scripted server under the user's commands and the clock: pause, stop,
// retries, time-outs, the rate, the proxy, the watchdog and what each state shows.

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

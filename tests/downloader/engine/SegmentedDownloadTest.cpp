#include "downloader/window/frmDownload.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/main/frmExist.h"

#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::NginxServer;
using harbel::test::ScriptedHttpServer;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::waitUntil;
using harbel::test::writeFile;

namespace {

const QString kSegmentQuestion = QStringLiteral(
    "Use segmented downloading? Several connections fetch the file at once (more segments make the program "
    "slower); a paused or stopped download still resumes where it left off.");

class SegmentedDownload : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        SettingsStore::instance().record.Segment = 1;
    }

    void startNginx(const QString& rate = {})
    {
        nginx = std::make_unique<NginxServer>(test::testFolder() + "/nginx");
        if (!rate.isEmpty())
            nginx->setLimitRate(rate);
        ASSERT_TRUE(nginx->start()) << nginx->why().toStdString();
    }

    frmDownload* start(const QString& url, const QString& target, qint16 existsAction = -1)
    {
        SettingsStore::instance().FileExistsAction = existsAction;
        frmDownload* job = windows.DownloadNow(url, target, -1);
        if (job)
            QObject::connect(job, &frmDownload::needsUser, [this] { stuck = true; });
        return job;
    }

    bool finish(frmDownload* job, int timeoutMs = 30000)
    {
        waitUntil([&] { return job->isCompleted() || stuck; }, timeoutMs);
        EXPECT_TRUE(job->isCompleted()) << job->lblStatus.Caption().toStdString();
        return job->isCompleted();
    }

    // Segments for every size from one byte: two up to 100 MB, three from 9001 bytes when asked.
    static void segmentFromTheFirstByte(double twoUpTo)
    {
        auto& S = SettingsStore::instance().record.SegmentSize;
        S = {1, twoUpTo, twoUpTo + 1, 1e12, 1e12 + 1, 1e12, 1e12 + 1, 1e12, 1e12 + 1};
    }

    // Makes the server send the replies to ranges starting at one of `firsts` slowly: `piece` bytes
    // every 10 ms, until the client closes the connection.
    static void slowFrom(ScriptedHttpServer& server, QList<qint64> firsts, qint64 piece)
    {
        server.handler = [&server, firsts, piece](const ScriptedHttpServer::Request& request, QTcpSocket& socket) {
            if (std::none_of(firsts.begin(), firsts.end(), [&](qint64 first) {
                    return request.range().startsWith("bytes=" + QByteArray::number(first) + '-');
                }))
                return false;
            const QByteArray reply = server.defaultReply(request);
            auto sent = std::make_shared<qint64>(0);
            auto* timer = new QTimer(&socket);
            QObject::connect(timer, &QTimer::timeout, &socket, [&socket, reply, sent, piece, timer] {
                socket.write(reply.mid(*sent, piece));
                *sent += piece;
                if (*sent >= reply.size())
                    timer->stop();
            });
            timer->start(10);
            return true;
        };
    }

    // Starts an 8 MiB download over two segments whose second half the server sends `piece` bytes
    // every 10 ms, so the first connection finishes early and takes over part of it (unless the
    // first half is slow too).
    frmDownload* startWithSlowSecondHalf(ScriptedHttpServer& server, const QString& name, qint64 piece,
                                         bool slowFirstHalf = false)
    {
        server.content = randomBytes(8 * 1024 * 1024);
        segmentFromTheFirstByte(100e6);
        slowFrom(server, {server.content.size() / 2, slowFirstHalf ? 0 : -1}, piece);
        prompts.answer(MsgAnswer::Yes);
        return start(server.url(name), folder + "/" + name);
    }

    DownloadWindows windows;
    std::unique_ptr<NginxServer> nginx;
    bool stuck = false;
};

}  // namespace

TEST_F(SegmentedDownload, ThirtyMebibytesArriveWholeOverSixSegments)
{
    startNginx();
    const QByteArray content = randomBytes(30 * 1024 * 1024 + 5);
    writeFile(nginx->root() + "/thirty.bin", content);
    prompts.answer(MsgAnswer::Yes);
    frmDownload* job = start(nginx->url("thirty.bin"), folder + "/thirty.bin");
    ASSERT_TRUE(job);
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->segments(), 6);
    EXPECT_EQ(job->plan().size(), content.size());
    ASSERT_EQ(prompts.records().size(), 1);
    // The question of the ranged probe comes from the language file, the other one is fixed.
    EXPECT_EQ(prompts.records().at(0).text,
              job->usesRangedArray() ? QStringLiteral("Use segmented downloading? Several connections fetch the file at "
                                                      "once; a paused or stopped download still resumes where it left off.")
                                     : kSegmentQuestion);
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(job->PVProgressBar[k]->Visible());
    EXPECT_TRUE(readFile(folder + "/thirty.bin") == content);
}

TEST_F(SegmentedDownload, SegmentCountFollowsTheSizeBounds)
{
    startNginx();
    const auto& S = SettingsStore::instance().record.SegmentSize;
    struct Case {
        qint64 size;
        int segments;
    };
    // Exactly S1 takes two segments, S2 + 1 three, one byte below S1 never asks.
    const Case cases[] = {{qint64(S[0]), 2}, {qint64(S[1]) + 1, 3}, {qint64(S[0]) - 1, 0}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const QString name = QStringLiteral("f%1.bin").arg(n++);
        const QByteArray content = randomBytes(c.size);
        writeFile(nginx->root() + "/" + name, content);
        if (c.segments)
            prompts.answer(MsgAnswer::Yes);
        frmDownload* job = start(nginx->url(name), folder + "/" + name);
        ASSERT_TRUE(job);
        ASSERT_TRUE(finish(job));
        EXPECT_EQ(job->segments(), c.segments);
        EXPECT_TRUE(readFile(folder + "/" + name) == content);
    }
    EXPECT_EQ(prompts.pendingAnswers(), 0u);
}

TEST_F(SegmentedDownload, NoResumeOrSegmentingOffGiveOneConnection)
{
    ScriptedHttpServer server;
    server.content = randomBytes(3 * 1024 * 1024);
    // Answering No: one connection on the same array.
    prompts.answer(MsgAnswer::No);
    frmDownload* job = start(server.url("a.bin"), folder + "/a.bin");
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->segments(), 0);
    EXPECT_TRUE(readFile(folder + "/a.bin") == server.content);

    // Resuming an existing file never asks and never segments.
    writeFile(folder + "/b.bin", server.content.left(100000));
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
    job = start(server.url("b.bin"), folder + "/b.bin", -1);
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->segments(), 0);
    EXPECT_TRUE(readFile(folder + "/b.bin") == server.content);

    SettingsStore::instance().record.Segment = 0;
    job = start(server.url("c.bin"), folder + "/c.bin");
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->segments(), 0);
    EXPECT_EQ(prompts.records().size(), 2);
}

TEST_F(SegmentedDownload, ServerThatIgnoresRangesFallsBackToOneConnection)
{
    ScriptedHttpServer server;
    server.content = randomBytes(3 * 1024 * 1024);
    server.ignoreRange = true;
    prompts.answer(MsgAnswer::Yes);
    frmDownload* job = start(server.url("whole.bin"), folder + "/whole.bin");
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->segments(), 0);
    EXPECT_EQ(QFileInfo(folder + "/whole.bin").size(), server.content.size());
    EXPECT_TRUE(readFile(folder + "/whole.bin") == server.content);
}

TEST_F(SegmentedDownload, PausedMidwayResumesEverySegmentByteForByte)
{
    startNginx("2m");
    const QByteArray content = randomBytes(24 * 1024 * 1024);
    writeFile(nginx->root() + "/paused.bin", content);
    prompts.answer(MsgAnswer::Yes);
    frmDownload* job = start(nginx->url("paused.bin"), folder + "/paused.bin");
    ASSERT_TRUE(job);
    ASSERT_TRUE(waitUntil([&] { return job->GetReceivedBytes() > 2 * 1024 * 1024; }, 20000));
    ASSERT_EQ(job->segments(), 6);
    job->cmdPause_Click();
    EXPECT_EQ(job->cmdPause.Caption(), job->capResume());
    std::array<qint64, 6> before{};
    for (int k = 0; k < 6; ++k)
        before[k] = job->plan().pos(k);
    job->cmdPause_Click();
    // Each segment moves back by the rollback, never into the range before it.
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(job->plan().pos(k), std::max<qint64>(before[k] - 4096, job->plan().start(k)));
    ASSERT_TRUE(finish(job, 60000));
    EXPECT_TRUE(readFile(folder + "/paused.bin") == content);
}

TEST_F(SegmentedDownload, StopKeepsEveryCompleteRangeAndALaterResumeFetchesOnlyTheMissingOnes)
{
    // Both halves crawl, or only the second, so the first connection takes over the end of the file
    // and finishes it beyond the gap the slow one leaves.
    for (const bool takeOver : {false, true}) {
        SCOPED_TRACE(takeOver);
        ScriptedHttpServer server;
        const QString target = folder + (takeOver ? "/gap.bin" : "/two.bin");
        frmDownload* job = startWithSlowSecondHalf(server, QFileInfo(target).fileName(), takeOver ? 1024 : 8192, !takeOver);
        const qint64 half = server.content.size() / 2;
        ASSERT_TRUE(waitUntil([&] { return takeOver ? job->plan().takeOvers() >= 1 && job->GetReceivedBytes() > half + half / 2
                                                    : job->GetReceivedBytes() > 512 * 1024; }, 20000));
        job->cmdStop_Click();  // nothing is lost, so nothing is asked
        EXPECT_EQ(job->lblStatus.Caption(), "Stopped");
        const std::optional<ControlFile> control = ControlFile::read(target);
        ASSERT_TRUE(control);
        EXPECT_GE(control->complete.size(), 2);
        const QByteArray kept = readFile(target);
        qint64 inRanges = 0;
        for (const ByteRange& r : control->complete) {
            EXPECT_TRUE(kept.mid(r.begin, r.length()) == server.content.mid(r.begin, r.length())) << r.begin;
            inRanges += r.length();
        }
        EXPECT_EQ(inRanges, job->GetReceivedBytes());
        job->Unload();

        server.handler = nullptr;
        const qsizetype before = server.requests().size();
        prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
        stuck = false;
        job = start(server.url(QFileInfo(target).fileName()), target, -1);
        ASSERT_TRUE(finish(job));
        EXPECT_TRUE(takeOver || job->segments() == 2);  // over segments again
        EXPECT_TRUE(readFile(target) == server.content);
        for (const auto& r : server.requests().mid(before)) {
            const qint64 from = r.range().mid(6).split('-').first().toLongLong();
            for (const ByteRange& c : control->complete)
                EXPECT_TRUE(!r.text.contains("Vantor Segment") || from < c.begin || from >= c.end) << r.range().constData();
        }
    }
}

TEST_F(SegmentedDownload, LastSegmentTakesTheRemainderOfTheSplit)
{
    ScriptedHttpServer server;
    server.content = randomBytes(10000);
    segmentFromTheFirstByte(9000);
    prompts.answer(MsgAnswer::Yes);
    frmDownload* job = start(server.url("ten.bin"), folder + "/ten.bin");
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->segments(), 3);
    QList<QByteArray> ranges;
    for (const auto& r : server.requests())
        ranges.append(r.range());
    // The probe's own ranges come first.
    ASSERT_GE(ranges.size(), 3);
    ranges = ranges.mid(ranges.size() - 3);
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges, (QList<QByteArray>{"bytes=0-3332", "bytes=3333-6665", "bytes=6666-9999"}));
    EXPECT_TRUE(readFile(folder + "/ten.bin") == server.content);
}

TEST_F(SegmentedDownload, FinishedConnectionTakesOverHalfOfTheSlowestRange)
{
    ScriptedHttpServer server;
    server.keepAlive = true;
    frmDownload* job = startWithSlowSecondHalf(server, "slow.bin", 16 * 1024);
    const qint64 half = server.content.size() / 2;
    ASSERT_TRUE(finish(job));
    EXPECT_EQ(job->segments(), 2);
    EXPECT_GE(job->plan().takeOvers(), 1);
    // Segment 0 asked for the second half of what segment 1 still had to fetch, on its own
    // connection, which the server kept open.
    int firstConnection = -1;
    bool takenOver = false;
    for (const auto& r : server.requests()) {
        if (r.range() == "bytes=0-" + QByteArray::number(half - 1))
            firstConnection = r.connection;
        const QByteArray range = r.range();
        const qint64 from = range.mid(6, range.indexOf('-') - 6).toLongLong();
        if (from > half && range.endsWith("-" + QByteArray::number(server.content.size() - 1))) {
            takenOver = true;
            EXPECT_EQ(r.connection, firstConnection);
            EXPECT_GT(from, half + (server.content.size() - half) / 4);
        }
    }
    EXPECT_TRUE(takenOver);
    EXPECT_TRUE(readFile(folder + "/slow.bin") == server.content);
}

TEST_F(SegmentedDownload, PauseAfterATakeOverResumesEveryRangeByteForByte)
{
    ScriptedHttpServer server;
    frmDownload* job = startWithSlowSecondHalf(server, "pause.bin", 2048);
    ASSERT_TRUE(job);
    ASSERT_TRUE(waitUntil([&] { return job->plan().takeOvers() >= 1 && job->plan().pos(0) > job->plan().start(0); }, 20000));
    job->cmdPause_Click();
    std::array<qint64, 2> before{job->plan().pos(0), job->plan().pos(1)};
    server.handler = nullptr;
    job->cmdPause_Click();
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(job->plan().pos(k), std::max<qint64>(before[k] - 4096, job->plan().start(k)));
    // The two live ranges never overlap (how often segment 0 took over depends on how soon the slow
    // reply began); finishing byte for byte shows they cover all that was missing.
    EXPECT_TRUE(job->plan().end(1) <= job->plan().start(0) || job->plan().end(0) <= job->plan().start(1));
    ASSERT_TRUE(finish(job));
    EXPECT_TRUE(readFile(folder + "/pause.bin") == server.content);
}

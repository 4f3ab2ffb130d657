// pellanor's download mode when a download is cut: a server that stalls or goes silent, the user's
// Ctrl+C, and a program killed outright and run again.

#include "downloader/app/CommandLine.h"
#include "downloader/app/DownloadCommand.h"

#include "common/platform/CRegister.h"
#include "common/platform/RegistryStore.h"
#include "common/ssh/SshPassphrases.h"
#include "downloader/engine/ControlFile.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/NginxServer.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/KeyringSession.h"
#include "tests/support/SshServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"
#include "tests/downloader/app/CommandLineFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Downloads killed outright (SIGKILL: a crash or a power cut looks the same to the file) and
// continued by a new `pellanor --download ... --resume`.
class ResumeAfterKill : public DownloadMode {
protected:
    void SetUp() override
    {
        DownloadMode::SetUp();
        server.content = test::randomBytes(16 * MiB);
        // The transfer requests are paced, each connection at its own speed for its whole life as
        // mirrors' links are: the one that asks from the first byte is fast, the others slow.
        server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& socket) {
            const QByteArray range = r.range();
            if (!r.text.contains("Vantor Segment") || !range.startsWith("bytes="))
                return false;
            const qsizetype dash = range.indexOf('-');
            const qint64 first = range.mid(6, dash - 6).toLongLong();
            const qint64 last = std::min<qint64>(range.mid(dash + 1).toLongLong(), server.content.size() - 1);
            socket.write("HTTP/1.1 206 Partial Content\r\nConnection: close\r\nContent-Length: "
                         + QByteArray::number(last - first + 1) + "\r\nContent-Range: bytes " + QByteArray::number(first)
                         + '-' + QByteArray::number(last) + '/' + QByteArray::number(server.content.size()) + "\r\n\r\n");
            const bool fast = first == 0;
            auto* pace = new QTimer(&socket);
            auto at = std::make_shared<qint64>(first);
            QPointer<QTcpSocket> s(&socket);
            QObject::connect(pace, &QTimer::timeout, [this, s, pace, at, last, fast] {
                if (!s || s->state() != QAbstractSocket::ConnectedState) {
                    pace->stop();
                    return;
                }
                const qint64 n = std::min(fast ? fastChunk : slowChunk, last + 1 - *at);
                s->write(server.content.mid(*at, n));
                *at += n;
                if (*at > last) {
                    pace->stop();
                    s->disconnectFromHost();
                }
            });
            pace->start(10);
            return true;
        };
    }

    QStringList download(const QString& target) const
    {
        return {"--download", server.url("big.bin"), "-o", target};
    }

    // Starts pellanor and kills it once its control file names at least `complete` bytes.
    void startAndKill(const QStringList& args, const QString& target, qint64 complete)
    {
        QProcess p;
        startHeadless(p, args, folder);
        ASSERT_TRUE(p.waitForStarted(10000));
        const auto written = [&] {
            qint64 n = 0;
            if (const auto c = ControlFile::read(target))
                for (const ByteRange& r : c->complete)
                    n += r.length();
            return n;
        };
        const bool progressed = waitUntil([&] { return written() >= complete || p.state() == QProcess::NotRunning; }, 30000);
        p.kill();
        p.waitForFinished(10000);
        ASSERT_TRUE(progressed);
        ASSERT_EQ(p.exitStatus(), QProcess::CrashExit) << "the download ended before it could be killed";
        ASSERT_LT(written(), server.content.size());
    }

    qint64 fastChunk = 32 * 1024;
    qint64 slowChunk = 8 * 1024;
};

}  // namespace

TEST_F(DownloadMode, InterruptedDownloadKeepsItsPartialFileForResume)
{
    answerThenStall();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(PELLANOR_EXE, {"--download", server.url("slow.bin")});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(folder + "/slow.bin").size() == 3000; }, 20000));
    p.terminate();
    ASSERT_TRUE(waitUntil([&] { return p.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    const QByteArray err = p.readAllStandardError();
    EXPECT_TRUE(err.contains("Interrupted"));
    EXPECT_FALSE(err.contains("Failed:")) << err.toStdString();  // said once, as an interruption
    EXPECT_EQ(readFile(folder + "/slow.bin"), server.content.left(3000));

    server.handler = nullptr;
    const ProgramRun resumed = pellanor({"--download", server.url("slow.bin"), "--resume"}, folder);
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
    EXPECT_EQ(readFile(folder + "/slow.bin"), server.content);
}

TEST_F(DownloadMode, SilentServerFailsAfterTimeoutTimesTriesWithALinePerRetry)
{
    // The server takes each connection and never answers: each of the 1 + 2 tries waits 1 second.
    server.stall = true;
    QElapsedTimer clock;
    clock.start();
    const ProgramRun r = pellanor({"--download", server.url("silent.bin"), "--timeout", "1", "--tries", "2"}, folder);
    EXPECT_GE(clock.elapsed(), 2500);  // it did wait, give or take the timer's slack
    // The program's own three seconds, and a second for starting, reconnecting and ending that
    // grows with the build's slowness.
    EXPECT_LT(server.firstConnection.elapsed(), 1000 * (2 + 1) + test::timeLimit(1000));
    EXPECT_EQ(server.connections(), 3);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("%1: Connection has timed out; trying again (1 of 2)...\n"
                                    "%1: Connection has timed out; trying again (2 of 2)...\n"
                                    "Failed: %1: Connection has timed out.\n").arg(server.url("silent.bin")));
}

TEST_F(DownloadMode, StalledTransferReconnectsTriesTimesThenFailsAndTheNextRunFinishesIt)
{
    // Every connection brings the first 3000 bytes again and then nothing: no retry brings a new
    // byte, so after 1 + 2 quiet seconds the download fails, keeping what it has for the next run.
    answerThenStall();
    test::ScriptedFtpServer ftp;
    ASSERT_TRUE(ftp.listen());
    ftp.setReplaceClient(true);
    ftp.setStartReplyNamesSize(true);
    ftp.onData("RETR", server.content);
    ftp.cutData("RETR", 3000, {}, 3);
    ftp.holdData = true;
    const QStringList urls{server.url("stall.bin"), QStringLiteral("ftp://127.0.0.1:%1/stall.bin").arg(ftp.port())};
    const auto download = [&](int i) { return QStringList{"--download", urls[i], "-o", QString::number(i), "--passive"}; };
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(urls[i].toStdString());
        QElapsedTimer clock;
        clock.start();
        const ProgramRun r = pellanor(download(i) + QStringList{"--timeout", "1", "--tries", "2"}, folder);
        EXPECT_GE(clock.elapsed(), 2500);
        EXPECT_LT((i == 0 ? server.firstConnection : ftp.firstConnection).elapsed(), 1000 * (2 + 1) + test::timeLimit(1000));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, QStringLiteral("%1: Connection has timed out; trying again (1 of 2)...\n"
                                        "%1: Connection has timed out; trying again (2 of 2)...\n"
                                        "Failed: %1: Connection has timed out.\n").arg(urls[i]));
        EXPECT_EQ(readFile(folder + "/" + QString::number(i)), server.content.left(3000));
        EXPECT_TRUE(QFile::exists(ControlFile::pathFor(folder + "/" + QString::number(i))));
    }
    // The servers send the rest now: a plain second run continues each file to its end.
    server.handler = nullptr;
    ftp.holdData = false;
    for (int i = 0; i < 2; ++i) {
        const ProgramRun r = pellanor(download(i), folder);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(readFile(folder + "/" + QString::number(i)), server.content);
        EXPECT_FALSE(QFile::exists(ControlFile::pathFor(folder + "/" + QString::number(i))));
    }
}

TEST_F(DownloadMode, CtrlCSavesTheControlFileAndTheNextRunContinuesWithoutResume)
{
    answerThenStall();
    QProcess p;
    startHeadless(p, {"--download", server.url("cut.bin")}, folder);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(folder + "/cut.bin").size() == 3000; }, 20000));
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(waitUntil([&] { return p.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_TRUE(QFile::exists(ControlFile::pathFor(folder + "/cut.bin")));

    // A control file says the file is ours and unfinished: it is continued, as aria2c does.
    server.handler = nullptr;
    const ProgramRun again = pellanor({"--download", server.url("cut.bin")}, folder);
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(readFile(folder + "/cut.bin"), server.content);
    EXPECT_EQ(server.requests().last().range(), "bytes=3000-7999");
}

TEST_F(ResumeAfterKill, SegmentedAndSingleDownloadsResumeExactlyWhatIsMissing)
{
    struct Case {
        const char* name;
        QStringList first;
        QStringList resume;
    };
    // The segmented one leaves ranges with gaps between them; it is continued once over one
    // connection (the missing ranges one after another) and once over segments again.
    const Case cases[] = {
        {"seg-one.bin", {"--segments"}, {}},
        {"seg-six.bin", {"--segments"}, {"--segments"}},
        {"single.bin", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fastChunk = 32 * 1024;
        slowChunk = 8 * 1024;
        const QString target = folder + "/" + c.name;
        startAndKill(download(target) + c.first + QStringList{"--overwrite"}, target, 2 * MiB);
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(QFile::exists(ControlFile::pathFor(target)));
        fastChunk = slowChunk = 512 * 1024;
        const ProgramRun r = pellanor(download(target) + c.resume + QStringList{"--resume"}, folder);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(readFile(target) == server.content) << QFileInfo(target).size();
        EXPECT_FALSE(QFile::exists(ControlFile::pathFor(target)));
    }
}

TEST_F(ResumeAfterKill, AControlFileOfAnotherFileStartsOverAndSaysSo)
{
    fastChunk = slowChunk = 512 * 1024;
    const QString target = folder + "/other.bin";
    writeFile(target, QByteArray(3 * MiB, 'x'));
    ControlFile stale;
    stale.size = 12345678;
    stale.complete = {{0, 3 * MiB}};
    ASSERT_TRUE(stale.write(target));
    const ProgramRun r = pellanor(download(target) + QStringList{"--resume"}, folder);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("is not the one this download began with")) << r.err.toStdString();
    EXPECT_TRUE(readFile(target) == server.content);
    EXPECT_FALSE(QFile::exists(ControlFile::pathFor(target)));
}

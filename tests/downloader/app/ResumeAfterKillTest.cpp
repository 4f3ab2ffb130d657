// Downloads killed outright (SIGKILL: a crash or a power cut looks the same to the file) and
// continued by a new `pellanor --download ... --resume`.

#include "downloader/engine/ControlFile.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
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

constexpr qint64 MiB = 1024 * 1024;

QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    return env;
}

class ResumeAfterKill : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = test::testFolder() + "/work";
        QDir().mkpath(folder);
        server.content = randomBytes(16 * MiB);
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
        p.setProcessEnvironment(headless());
        p.setWorkingDirectory(folder);
        p.start(PELLANOR_EXE, args);
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

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run run(const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(headless());
        p.setWorkingDirectory(folder);
        p.start(PELLANOR_EXE, args);
        EXPECT_TRUE(p.waitForStarted(10000));
        EXPECT_TRUE(waitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000));
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
    }

    ScriptedHttpServer server;
    QString folder;
    qint64 fastChunk = 32 * 1024;
    qint64 slowChunk = 8 * 1024;
};

}  // namespace

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
        const Run r = run(download(target) + c.resume + QStringList{"--resume"});
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
    const Run r = run(download(target) + QStringList{"--resume"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("is not the one this download began with")) << r.err.toStdString();
    EXPECT_TRUE(readFile(target) == server.content);
    EXPECT_FALSE(QFile::exists(ControlFile::pathFor(target)));
}

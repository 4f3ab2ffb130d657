#include "downloader/window/frmDownload.h"
#include "downloader/main/DownloadWindows.h"

#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/NginxServer.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace harbel;
using harbel::test::NginxServer;
using harbel::test::randomBytes;
using harbel::test::waitUntil;

namespace {

// Compares two files a block at a time: the big files never sit in memory whole. Returns the
// offset of the first difference, or -1 when they are equal.
qint64 firstDifference(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return 0;
    constexpr qint64 kBlock = 1024 * 1024;
    QByteArray x(kBlock, Qt::Uninitialized), y(kBlock, Qt::Uninitialized);
    for (qint64 offset = 0;; offset += kBlock) {
        const qint64 nx = fa.read(x.data(), kBlock), ny = fb.read(y.data(), kBlock);
        if (nx != ny || std::memcmp(x.constData(), y.constData(), size_t(std::max<qint64>(nx, 0))) != 0) {
            qint64 i = 0;
            while (i < nx && i < ny && x[i] == y[i])
                ++i;
            return offset + i;
        }
        if (nx <= 0)
            return -1;
    }
}

class NginxDownload : public test::DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        nginx = std::make_unique<NginxServer>(test::testFolder() + "/nginx");
        ASSERT_TRUE(nginx->start()) << nginx->why().toStdString();
    }

    bool download(const QString& url, const QString& target, int timeoutMs)
    {
        frmDownload* job = windows.DownloadNow(url, target, -1);
        if (!job)
            return false;
        bool stuck = false;
        QObject::connect(job, &frmDownload::needsUser, [&] { stuck = true; });
        waitUntil([&] { return job->isCompleted() || stuck; }, timeoutMs);
        EXPECT_TRUE(job->isCompleted()) << job->lblStatus.Caption().toStdString();
        return job->isCompleted();
    }

    DownloadWindows windows;
    std::unique_ptr<NginxServer> nginx;
};

}  // namespace

TEST_F(NginxDownload, SmallFileArrivesByteForByteAlsoThroughARedirect)
{
    const QByteArray content = randomBytes(2 * 1024 * 1024);
    test::writeFile(nginx->root() + "/two.bin", content);
    ASSERT_TRUE(download(nginx->url("two.bin"), folder + "/two.bin", 20000));
    EXPECT_TRUE(test::readFile(folder + "/two.bin") == content);

    ASSERT_TRUE(download(nginx->url("moved/two.bin"), folder + "/moved.bin", 20000));
    EXPECT_TRUE(test::readFile(folder + "/moved.bin") == content);
    EXPECT_EQ(windows.lstComplete.count(), 2);
}

TEST_F(NginxDownload, FileOverTwoGibibytesArrivesWhole)
{
    // Sparse on the server: random blocks at the start, across the 2 GiB mark and at the end.
    const qint64 size = (qint64(1) << 31) + 123457;
    const QString source = nginx->root() + "/big.bin";
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size));
        for (const qint64 at : {qint64(0), (qint64(1) << 31) - 32768, size - 65536}) {
            ASSERT_TRUE(f.seek(at));
            ASSERT_EQ(f.write(randomBytes(65536)), 65536);
        }
    }
    const QString target = folder + "/big.bin";
    ASSERT_TRUE(download(nginx->url("big.bin"), target, 180000));
    EXPECT_EQ(QFileInfo(target).size(), size);
    EXPECT_EQ(firstDifference(target, source), -1);
    ASSERT_EQ(windows.lstComplete.count(), 1);
    EXPECT_EQ(windows.lstComplete.at(0)->cell(DownloadRow::Size), "2,048.12 MB");
    QFile::remove(target);
}

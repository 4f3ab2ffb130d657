// The transfer queue against pyftpdlib: its own connections, several at once, moving files and
// folder trees both ways; cancel, retry and failures of single items; the file that keeps it.
#include "ftpclient/component/TransferQueue.h"
#include "ftpclient/component/TransferQueueStore.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::PyFtpServer;
using harbel::test::readFile;
using harbel::test::writeFile;
using State = TransferItem::State;

namespace {

// Every file under root by its relative path, with its bytes.
QMap<QString, QByteArray> tree(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return files;
}

void makeTree(const QString& root, int seed)
{
    writeFile(root + "/a.txt", QByteArray("first ") + QByteArray::number(seed));
    writeFile(root + "/empty", {});
    writeFile(root + "/sub/b.bin", test::randomBytes(70000 + seed));
    writeFile(root + "/sub/deeper/c.bin", test::randomBytes(3000));
    QDir().mkpath(root + "/sub/nothing");
}

// The TCP connections of this process, control and data, and whether each has TCP_NODELAY.
struct SocketCheck {
    int control = 0;
    int data = 0;
    int withoutNoDelay = 0;
};

void checkSockets(quint16 controlPort, SocketCheck& check)
{
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const int n = fd.fileName().toInt();
        struct stat st {};
        sockaddr_in peer {};
        socklen_t peerSize = sizeof peer;
        int protocol = 0;
        socklen_t size = sizeof protocol;
        if (fstat(n, &st) != 0 || !S_ISSOCK(st.st_mode) || getsockopt(n, SOL_SOCKET, SO_PROTOCOL, &protocol, &size) != 0
            || protocol != IPPROTO_TCP || getpeername(n, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
            continue;
        // A socket gets the option on its own thread when its connection is reported, before any
        // byte goes out: one caught in between is looked at again for a while (a busy machine may
        // take long to run that thread).
        // A socket that ends meanwhile (its number may be taken by a new one) is not counted.
        const auto samePeer = [&] {
            sockaddr_in now {};
            socklen_t nowSize = sizeof now;
            return getpeername(n, reinterpret_cast<sockaddr*>(&now), &nowSize) == 0 && now.sin_port == peer.sin_port;
        };
        int noDelay = 0;
        bool gone = false;
        for (int look = 0; look < 50 && !noDelay && !gone; ++look) {
            if (look)
                QThread::msleep(20);
            size = sizeof noDelay;
            gone = getsockopt(n, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size) != 0 || !samePeer();
        }
        if (gone)
            continue;
        (ntohs(peer.sin_port) == controlPort ? check.control : check.data) += 1;
        check.withoutNoDelay += noDelay ? 0 : 1;
    }
}

class Queue : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = test::testFolder() + "/server";
        local = test::testFolder() + "/local";
        QDir().mkpath(root);
        QDir().mkpath(local);
    }

    void start(PyFtpServer::Options options = {})
    {
        server = std::make_unique<PyFtpServer>(root, options);
        ASSERT_TRUE(server->start()) << server->error().toStdString();
        SessionLogin login;
        login.host = "127.0.0.1";
        login.port = server->port();
        login.user = "tess";
        login.password = "secret";
        queue.setLogin(login);
    }

    static TransferItem item(TransferItem::Direction direction, const QString& localPath, const QString& remotePath, bool folder = false)
    {
        TransferItem i;
        i.direction = direction;
        i.localPath = localPath;
        i.remotePath = remotePath;
        i.folder = folder;
        return i;
    }

    bool waitIdle(int ms = 30000)
    {
        return test::waitUntil([this] { return queue.isIdle(); }, ms);
    }

    QString root;
    QString local;
    std::unique_ptr<PyFtpServer> server;
    TransferQueue queue;
};

constexpr auto Down = TransferItem::Direction::Download;
constexpr auto Up = TransferItem::Direction::Upload;

}  // namespace

TEST_F(Queue, MovesFilesAndFolderTreesBothWaysOnItsOwnConnections)
{
    makeTree(local + "/up", 1);
    makeTree(root + "/down", 2);
    writeFile(local + "/one.bin", test::randomBytes(40000));
    writeFile(root + "/big.bin", test::randomBytes(24 << 20));
    start();
    SocketCheck sockets;
    QObject::connect(&queue, &TransferQueue::progress, [&] { checkSockets(server->port(), sockets); });

    struct Case {
        TransferItem::Direction direction;
        QString localPath, remotePath;
        bool folder;
        QString source, target;  // the trees compared afterwards
    };
    const QList<Case> cases = {
        {Up, local + "/up", "/up", true, local + "/up", root + "/up"},
        {Down, local + "/down", "/down", true, root + "/down", local + "/down"},
        {Up, local + "/one.bin", "/one.bin", false, {}, {}},
        {Down, local + "/big.bin", "/big.bin", false, {}, {}},
    };
    for (const Case& c : cases)
        queue.add(item(c.direction, c.localPath, c.remotePath, c.folder));
    ASSERT_TRUE(waitIdle());

    for (const TransferItem& i : queue.items())
        EXPECT_EQ(i.state, State::Done) << i.remotePath.toStdString() << ": " << i.reason.toStdString();
    for (const Case& c : cases) {
        if (c.folder)
            EXPECT_EQ(tree(c.target), tree(c.source)) << c.remotePath.toStdString();
        else
            EXPECT_EQ(readFile(root + c.remotePath), readFile(c.localPath)) << c.remotePath.toStdString();
    }
    // Empty folders come along; the folder items gave way to their files.
    EXPECT_TRUE(QFileInfo(root + "/up/sub/nothing").isDir());
    EXPECT_TRUE(QFileInfo(local + "/down/sub/nothing").isDir());
    EXPECT_EQ(queue.count(State::Done), 2 + 2 * 4);
    EXPECT_EQ(queue.bytesMoved(), queue.totalBytes());

    // Two connections, each a control and a data socket while the big file moved, none without
    // TCP_NODELAY.
    EXPECT_GE(sockets.control, 1);
    EXPECT_GE(sockets.data, 1);
    EXPECT_EQ(sockets.withoutNoDelay, 0);
}

TEST_F(Queue, CancelsOneItemAndRetriesItFromWhereItStopped)
{
    // Large enough to be cancelled while it moves; a block of an odd length over and over, so
    // that a resumption from a wrong offset shows.
    const QByteArray block = test::randomBytes((1 << 20) + 7);
    const QByteArray big = block.repeated(128);
    writeFile(root + "/big.bin", big);
    writeFile(local + "/big.bin", big);
    writeFile(root + "/small.txt", "small");
    start();
    queue.setParallel(1);
    const QList<TransferItem> cases = {item(Down, local + "/got.bin", "/big.bin"), item(Up, local + "/big.bin", "/put.bin")};
    for (const TransferItem& c : cases) {
        const int id = queue.add(c);
        const int after = queue.add(item(Down, local + "/small-" + QString::number(id), "/small.txt"));
        auto once = QObject::connect(&queue, &TransferQueue::progress, [&] { queue.cancel(id); });
        ASSERT_TRUE(waitIdle());
        QObject::disconnect(once);
        const TransferItem cancelled = queue.item(id);
        EXPECT_EQ(cancelled.state, State::Cancelled);
        EXPECT_LT(cancelled.bytesDone, big.size());
        EXPECT_EQ(queue.item(after).state, State::Done);

        queue.retry(id);
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(queue.item(id).state, State::Done) << queue.item(id).reason.toStdString();
        const QString target = c.upload() ? root + c.remotePath : c.localPath;
        EXPECT_EQ(QFileInfo(target).size(), big.size());
        EXPECT_TRUE(readFile(target) == big);
    }
}

TEST_F(Queue, AFailedItemDoesNotStopTheOthers)
{
    writeFile(root + "/good.txt", "good");
    writeFile(local + "/good.txt", "good up");
    start();
    queue.setParallel(1);
    struct Case {
        TransferItem bad;
        const char* because;
    };
    const QList<Case> cases = {
        {item(Down, local + "/missing.txt", "/missing.txt"), "missing"},
        {item(Up, local + "/missing.txt", "/missing.txt"), "missing"},
        {item(Up, local + "/good.txt", "/no/such/folder/good.txt"), "folder"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const int bad = queue.add(c.bad);
        const QString name = QString::number(++n);
        queue.add({item(Down, local + "/got" + name, "/good.txt"), item(Up, local + "/good.txt", "/put" + name)});
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(queue.item(bad).state, State::Failed) << c.because;
        EXPECT_FALSE(queue.item(bad).reason.isEmpty());
        EXPECT_EQ(readFile(local + "/got" + name), "good");
        EXPECT_EQ(readFile(root + "/put" + name), "good up");
    }
    EXPECT_EQ(queue.count(State::Failed), cases.size());
    EXPECT_EQ(queue.count(State::Done), 2 * cases.size());
}

// Over TLS with a certificate no authority of the system vouches for: the first connection asks,
// the others take the answer given for this run.
TEST_F(Queue, ConnectionsOverTlsAskAboutTheSessionsCertificateOnce)
{
    test::TestAuthority authority(test::testFolder() + "/ca");
    ASSERT_TRUE(authority.create()) << authority.why().toStdString();
    const test::TestAuthority::Issued issued = authority.issue("server", {"127.0.0.1"});
    PyFtpServer::Options options;
    options.tlsCertificate = issued.certificate;
    options.tlsKey = issued.key;
    for (int i = 0; i < 4; ++i)
        writeFile(local + QString("/up%1.bin").arg(i), test::randomBytes(20000 + i));
    start(options);
    SessionLogin login = queue.login();
    login.tls = true;
    queue.setLogin(login);
    queue.setParallel(3);
    QStringList asked;
    QObject::connect(&queue, &TransferQueue::certificateQuery, [&](const CertificateInfo& info, int& answer) {
        asked << info.fingerprint;
        answer = certTrustOnce;
    });
    for (int i = 0; i < 4; ++i)
        queue.add(item(Up, local + QString("/up%1.bin").arg(i), QString("/up%1.bin").arg(i)));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(queue.count(State::Done), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(readFile(root + QString("/up%1.bin").arg(i)), readFile(local + QString("/up%1.bin").arg(i)));
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(queue.login().acceptedFingerprint, asked.value(0));
}

TEST_F(Queue, KeepsUnfinishedItemsOfEachSiteInItsFile)
{
    const QString path = test::testFolder() + "/TransferQueue.json";
    TransferQueueStore::Saved other{{"other.example", 2121, "ann", true, false}, {item(Up, "/home/a/x", "/x")}};
    writeFile(path, TransferQueueStore::encode({other}));
    {
        TransferQueueStore store(path);
        ASSERT_EQ(store.kept().size(), 1);
        SessionLogin login;
        login.host = "127.0.0.1";
        login.port = 1;  // nothing listens: the items wait, fail, and stay unfinished
        login.user = "tess";
        login.password = "never kept";
        queue.setLogin(login);
        queue.setParallel(1);
        store.track(&queue);
        queue.add({item(Down, local + "/a", "/a"), item(Up, local + "/tree", "/tree", true)});
        // Written within a second of the change, without the store going away.
        ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(path) && readFile(path).contains("/tree"); }, 1000));
        ASSERT_TRUE(waitIdle());
        EXPECT_TRUE(test::waitUntil([&] { return readFile(path).contains("failed"); }, 1000));
    }
    EXPECT_FALSE(readFile(path).contains("never kept"));
    EXPECT_TRUE(QDir(test::testFolder()).entryList({"*.json.*", "*.json~"}, QDir::Files).isEmpty());

    TransferQueueStore again(path);
    ASSERT_EQ(again.kept().size(), 2);
    SessionLogin same;
    same.host = "127.0.0.1";
    same.port = 1;
    same.user = "tess";
    const QList<TransferItem> back = again.take(same);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].localPath, local + "/a");
    EXPECT_TRUE(back[1].folder);
    EXPECT_TRUE(back[1].upload());
    EXPECT_TRUE(back[0].resume);
    EXPECT_EQ(again.kept().size(), 1);
    EXPECT_EQ(again.kept()[0].site.host, "other.example");
}

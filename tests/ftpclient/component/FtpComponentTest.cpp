// FtpComponent against the real pyftpdlib server on loopback. Every transfer is compared byte for
// byte with its source.
#include "ftpclient/component/FtpComponent.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::PyFtpServer;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        b[i] = char(gen.generate() & 0xff);
    return b;
}

class PyFtp : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = test::testFolder() + "/server";
        local = test::testFolder() + "/local";
        QDir().mkpath(root);
        QDir().mkpath(local);
        QObject::connect(&ftp, &FtpComponent::LogLine, [this](const QString& l) { log << l; });
    }

    void startServer(PyFtpServer::Options options = {})
    {
        server = std::make_unique<PyFtpServer>(root, options);
        ASSERT_TRUE(server->start()) << server->error().toStdString();
    }

    void login(bool passive = true)
    {
        ftp.Host = "127.0.0.1";
        ftp.Port = server->port();
        ftp.User = "tess";
        ftp.Password = "secret";
        ftp.Passive = passive;
        ASSERT_NO_THROW(ftp.Connect());
        ASSERT_EQ(ftp.State(), 2);
    }

    QString root;
    QString local;
    std::unique_ptr<PyFtpServer> server;
    FtpComponent ftp;
    QStringList log;
};

struct Listed {
    QString name;
    qint64 size;
    int kind;
    QDateTime date;
};

QList<Listed> listAll(FtpComponent& ftp, const QString& mask = {})
{
    QList<Listed> out;
    auto c = QObject::connect(&ftp, &FtpComponent::ListingItem, [&](const QString& n, const QDateTime& d, qint64 s, int k) {
        out.append({n, s, k, d});
    });
    ftp.ListFolder(mask);
    QObject::disconnect(c);
    return out;
}

const Listed* find(const QList<Listed>& list, const QString& name)
{
    for (const Listed& l : list)
        if (l.name == name)
            return &l;
    return nullptr;
}

}  // namespace

TEST_F(PyFtp, LogsInListsAndManagesFoldersAndFiles)
{
    writeFile(root + "/a.txt", "hello\n");
    writeFile(root + "/b.bin", randomBytes(5000, 1));
    QDir().mkpath(root + "/docs/inner");
    QFile::link(root + "/a.txt", root + "/latest");
    startServer();
    login();

    EXPECT_EQ(ftp.CurrentFolder(), "/");
    EXPECT_TRUE(ftp.offersMlsd());
    const auto items = listAll(ftp);
    ASSERT_TRUE(find(items, "a.txt"));
    EXPECT_EQ(find(items, "a.txt")->size, 6);
    EXPECT_EQ(find(items, "a.txt")->kind, 0);
    EXPECT_TRUE(find(items, "a.txt")->date.isValid());
    EXPECT_EQ(find(items, "b.bin")->size, 5000);
    ASSERT_TRUE(find(items, "docs"));
    EXPECT_EQ(find(items, "docs")->kind, 1);
    EXPECT_TRUE(find(items, "latest"));  // the server's MLSD shows a link as what it points at
    EXPECT_EQ(items.size(), 4);
    EXPECT_EQ(listAll(ftp, "*.bin").size(), 1);
    EXPECT_EQ(ftp.GetFolderItems("", 0).size(), 4);

    ftp.ChangeFolder("docs");
    EXPECT_EQ(ftp.CurrentFolder(), "/docs");
    EXPECT_EQ(listAll(ftp).size(), 1);
    ftp.ChangeToParent();
    EXPECT_EQ(ftp.CurrentFolder(), "/");

    ftp.CreateFolder("fresh");
    EXPECT_TRUE(QFileInfo(root + "/fresh").isDir());
    ftp.RenameItem("fresh", "renamed");
    EXPECT_TRUE(QFileInfo(root + "/renamed").isDir());
    ftp.RenameItem("b.bin", "docs/moved.bin");  // a rename into another folder moves
    EXPECT_TRUE(QFileInfo::exists(root + "/docs/moved.bin"));
    ftp.RemoveFolder("renamed");
    EXPECT_FALSE(QFileInfo::exists(root + "/renamed"));
    ftp.DeleteFile("a.txt");
    EXPECT_FALSE(QFileInfo::exists(root + "/a.txt"));

    try {
        ftp.RemoveFolder("docs");  // not empty
        ADD_FAILURE() << "removing a full folder succeeded";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrServerRefused);
        EXPECT_TRUE(e.Description().startsWith("550")) << e.Description().toStdString();
    }
    EXPECT_EQ(ftp.State(), 2);  // a refused command leaves the session usable
    EXPECT_EQ(ftp.SendCommand("NOOP").code, 200);

    EXPECT_TRUE(log.contains("PASS ********"));
    EXPECT_FALSE(log.join("\n").contains("secret"));

    int disconnected = 0;
    QObject::connect(&ftp, &FtpComponent::Disconnected, [&] { ++disconnected; });
    ftp.Disconnect();
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_EQ(disconnected, 1);
    EXPECT_THROW(ftp.CurrentFolder(), FtpError);
}

TEST_F(PyFtp, ListsLinksAsLinksWhenTheServerOnlyOffersList)
{
    writeFile(root + "/a.txt", "x");
    QDir().mkpath(root + "/dir");
    QFile::link(root + "/a.txt", root + "/latest");
    PyFtpServer::Options o;
    o.noMlsd = true;
    startServer(o);
    login();
    EXPECT_FALSE(ftp.offersMlsd());
    const auto items = listAll(ftp);
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(find(items, "a.txt")->kind, 0);
    EXPECT_EQ(find(items, "dir")->kind, 1);
    ASSERT_TRUE(find(items, "latest"));
    EXPECT_EQ(find(items, "latest")->kind, 2);
}

TEST_F(PyFtp, ReceivesAndSendsInBothModesWithResumeByteForByte)
{
    const QByteArray binary = randomBytes(3 * 1024 * 1024 + 17, 7);
    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += "line " + QByteArray::number(i) + " of text\n";
    writeFile(root + "/data.bin", binary);
    writeFile(root + "/notes.txt", text);
    startServer();

    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        login(passive);
        const QString dl = local + (passive ? "/p" : "/a");
        QDir().mkpath(dl);

        qint64 lastDone = -1, lastSize = -1;
        int lastPercent = -1;
        auto c = QObject::connect(&ftp, &FtpComponent::TransferProgress, [&](const QString&, qint64 size, qint64 done, int pct) {
            lastSize = size;
            lastDone = done;
            lastPercent = pct;
        });
        ftp.TransferMode = 0;
        ftp.ReceiveFile("data.bin", 0, dl + "/data.bin");
        EXPECT_EQ(readFile(dl + "/data.bin"), binary);
        EXPECT_EQ(lastSize, binary.size());
        EXPECT_EQ(lastDone, binary.size());
        EXPECT_EQ(lastPercent, 100);
        QObject::disconnect(c);

        // Resume a download from a partial file.
        writeFile(dl + "/resumed.bin", binary.left(1000000));
        ftp.ReceiveFile("data.bin", 1000000, dl + "/resumed.bin");
        EXPECT_EQ(readFile(dl + "/resumed.bin"), binary);

        // Send, and resume a send whose first part the server already holds.
        const QString up = passive ? "up-p.bin" : "up-a.bin";
        ftp.SendFile(dl + "/data.bin", 0, up, false);
        EXPECT_EQ(readFile(root + "/" + up), binary);
        writeFile(root + "/part-" + up, binary.left(777777));
        ftp.SendFile(dl + "/data.bin", 777777, "part-" + up, true);
        EXPECT_EQ(readFile(root + "/part-" + up), binary);

        // ASCII both ways: network line ends on the wire, our own on disk, nothing else changed.
        ftp.TransferMode = 1;
        ftp.ReceiveFile("notes.txt", 0, dl + "/notes.txt");
        EXPECT_EQ(readFile(dl + "/notes.txt"), text);
        ftp.SendFile(dl + "/notes.txt", 0, "notes-" + up + ".txt", false);
        EXPECT_EQ(readFile(root + "/notes-" + up + ".txt"), text);
        ftp.TransferMode = 0;

        // An empty file is a file too.
        writeFile(dl + "/empty", "");
        ftp.SendFile(dl + "/empty", 0, "empty-" + up, false);
        EXPECT_TRUE(QFileInfo::exists(root + "/empty-" + up));
        ftp.ReceiveFile("empty-" + up, 0, dl + "/empty-back");
        EXPECT_TRUE(QFileInfo::exists(dl + "/empty-back"));
        EXPECT_EQ(QFileInfo(dl + "/empty-back").size(), 0);
        ftp.Disconnect();
    }
}

TEST_F(PyFtp, AsksBeforeReplacingAndNeverWritesThroughALocalLink)
{
    writeFile(root + "/f.bin", "server copy");
    writeFile(local + "/f.bin", "local copy");
    writeFile(test::testFolder() + "/outside", "precious");
    QFile::link(test::testFolder() + "/outside", local + "/link.bin");
    startServer();
    login();

    QStringList asked, skipped;
    bool answer = false;
    QObject::connect(&ftp, &FtpComponent::FileExists, [&](const FileClash& clash, int& reply) {
        asked << clash.localPath;
        reply = answer ? FileClash::Overwrite : FileClash::Skip;
    });
    QObject::connect(&ftp, &FtpComponent::FileSkipped, [&](const QString& a, const QString& b, qint64) { skipped << a + "|" + b; });

    ftp.ReceiveFile("f.bin", 0, local + "/f.bin");
    EXPECT_EQ(asked, QStringList{local + "/f.bin"});
    EXPECT_EQ(readFile(local + "/f.bin"), "local copy");
    EXPECT_EQ(skipped.size(), 1);
    answer = true;
    ftp.ReceiveFile("f.bin", 0, local + "/f.bin");
    EXPECT_EQ(readFile(local + "/f.bin"), "server copy");

    try {
        ftp.ReceiveFile("f.bin", 0, local + "/link.bin");
        ADD_FAILURE() << "wrote through a link";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrLocalFile);
        EXPECT_TRUE(e.Description().contains("symbolic link"));
    }
    EXPECT_EQ(readFile(test::testFolder() + "/outside"), "precious");
    // Nor into a FIFO waiting where the file should go: opening it would wait for a reader forever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(local + "/fifo.bin").constData(), 0600), 0);
    try {
        ftp.ReceiveFile("f.bin", 0, local + "/fifo.bin");
        ADD_FAILURE() << "wrote into a FIFO";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrLocalFile);
        EXPECT_EQ(e.Description(), local + "/fifo.bin is not a regular file.");
    }
    EXPECT_THROW(ftp.ReceiveFile("f.bin", 0, local + "/../escape.bin"), FtpError);
    EXPECT_FALSE(QFileInfo::exists(test::testFolder() + "/escape.bin"));

    // A folder tree never lands in a folder that a local link points elsewhere.
    QDir().mkpath(root + "/tree/sub");
    writeFile(root + "/tree/sub/inner.bin", "inner");
    writeFile(root + "/tree/top.bin", "top");
    QDir().mkpath(test::testFolder() + "/elsewhere");
    QDir().mkpath(local + "/dest");
    QFile::link(test::testFolder() + "/elsewhere", local + "/dest/sub");
    ftp.ReceiveFiles("tree/*", local + "/dest", true);
    EXPECT_EQ(readFile(local + "/dest/top.bin"), "top");
    EXPECT_TRUE(QDir(test::testFolder() + "/elsewhere").isEmpty());
    EXPECT_TRUE(skipped.last().startsWith(local + "/dest/sub|sub"));

    // A refused download creates no local file.
    EXPECT_THROW(ftp.ReceiveFile("missing.bin", 0, local + "/missing.bin"), FtpError);
    EXPECT_FALSE(QFileInfo::exists(local + "/missing.bin"));
    EXPECT_EQ(ftp.State(), 2);
}

TEST_F(PyFtp, ReceivesAndSendsFolderTreesWithMasks)
{
    QMap<QString, QByteArray> files{
        {"tree/top.txt", "top\n"},
        {"tree/top.bin", randomBytes(70000, 2)},
        {"tree/sub/one.txt", "one\n"},
        {"tree/sub/deeper/two.bin", randomBytes(300000, 3)},
        {"tree/empty-dir/.keep", ""},
    };
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QDir().mkpath(QFileInfo(root + "/" + it.key()).path());
        writeFile(root + "/" + it.key(), it.value());
    }
    startServer();
    login();

    QStringList scanned;
    QObject::connect(&ftp, &FtpComponent::ScanningFolder, [&](const QString& f) { scanned << f; });
    QDir().mkpath(local + "/all");
    ftp.ReceiveFiles("tree/*", local + "/all", true);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        EXPECT_EQ(readFile(local + "/all/" + it.key().mid(5)), it.value()) << it.key().toStdString();
    EXPECT_TRUE(scanned.contains("/tree/sub/deeper"));
    EXPECT_EQ(ftp.CurrentFolder(), "/");  // the component comes back to where it started

    QDir().mkpath(local + "/txt");
    ftp.ReceiveFiles("tree\\*.txt", local + "/txt", false);  // either separator is understood
    EXPECT_EQ(QDir(local + "/txt").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"top.txt"});

    ftp.SendFiles(local + "/all/*", "copy", true, true);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        EXPECT_EQ(readFile(root + "/copy/" + it.key().mid(5)), it.value()) << it.key().toStdString();
    ftp.SendFiles(local + "/all/*.bin", "bins", true, false);
    EXPECT_EQ(QDir(root + "/bins").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"top.bin"});
    EXPECT_EQ(ftp.CurrentFolder(), "/");
}

TEST_F(PyFtp, LinksBackUpTheServerTreeAreNotFollowedInCircles)
{
    // The server lists links to folders as folders. Two links back up in every level would give
    // 2^64 paths to walk before the depth limit.
    QDir().mkpath(root + "/tree/sub");
    writeFile(root + "/tree/top.bin", "top");
    writeFile(root + "/tree/sub/inner.bin", "inner");
    ASSERT_EQ(::symlink(".", QFile::encodeName(root + "/tree/self").constData()), 0);
    ASSERT_EQ(::symlink("..", QFile::encodeName(root + "/tree/sub/up").constData()), 0);
    ASSERT_EQ(::symlink(".", QFile::encodeName(root + "/tree/sub/again").constData()), 0);
    startServer();
    login();
    ASSERT_TRUE(ftp.offersMlsd());

    QDir().mkpath(local + "/dest");
    ftp.ReceiveFiles("tree/*", local + "/dest", true);
    QStringList received;
    QDirIterator it(local + "/dest", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        received << it.next().mid(local.size() + 6);
    received.sort();
    EXPECT_EQ(received, (QStringList{"sub", "sub/inner.bin", "top.bin"}));
    EXPECT_EQ(readFile(local + "/dest/sub/inner.bin"), "inner");
    EXPECT_TRUE(log.join("\n").contains("Skipped the folder /tree/sub/up: it lists the same entries as a folder it lies in"));
    EXPECT_EQ(ftp.CurrentFolder(), "/");
}

TEST_F(PyFtp, AbortMidTransferKeepsThePartAndTheSession)
{
    const QByteArray big = randomBytes(24 * 1024 * 1024, 9);
    writeFile(root + "/big.bin", big);
    writeFile(local + "/upload.bin", big);
    startServer();
    login();

    int operationErrors = 0;
    QObject::connect(&ftp, &FtpComponent::OperationError, [&](qint64 code) { operationErrors += code == ftpErrAborted; });
    auto abortAt = QObject::connect(&ftp, &FtpComponent::TransferProgress, [&](const QString&, qint64, qint64 done, int) {
        if (done >= 2 * 1024 * 1024)
            ftp.setAbortFlag(true);
    });
    try {
        ftp.ReceiveFile("big.bin", 0, local + "/big.bin");
        ADD_FAILURE() << "not aborted";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrAborted);
    }
    EXPECT_EQ(operationErrors, 1);
    const QByteArray part = readFile(local + "/big.bin");
    EXPECT_GE(part.size(), 2 * 1024 * 1024);
    EXPECT_LT(part.size(), big.size());
    EXPECT_EQ(part, big.left(part.size()));  // what arrived is kept, intact

    try {
        ftp.SendFile(local + "/upload.bin", 0, "up.bin", false);
        ADD_FAILURE() << "upload not aborted";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrAborted);
    }
    QObject::disconnect(abortAt);

    // The session is in step again: the next commands read their own replies.
    EXPECT_EQ(ftp.State(), 2);
    EXPECT_EQ(ftp.CurrentFolder(), "/");
    ftp.ReceiveFile("big.bin", part.size(), local + "/big.bin");
    EXPECT_EQ(readFile(local + "/big.bin"), big);
}

TEST_F(PyFtp, RefusedLoginLeavesTheComponentDisconnected)
{
    PyFtpServer::Options o;
    o.refuseLogin = true;
    startServer(o);
    int disconnected = 0;
    QObject::connect(&ftp, &FtpComponent::Disconnected, [&] { ++disconnected; });
    ftp.Host = "127.0.0.1";
    ftp.Port = server->port();
    ftp.User = "tess";
    ftp.Password = "secret";
    try {
        ftp.Connect();
        ADD_FAILURE() << "logged in";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrLoginFailed);
        EXPECT_TRUE(e.Description().startsWith("530")) << e.Description().toStdString();
    }
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_EQ(disconnected, 0);

    // Nothing listens here: a clear connect error.
    PyFtpServer gone(root);
    ftp.Port = 1;
    try {
        ftp.Connect();
        ADD_FAILURE();
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrConnectFailed);
    }
    EXPECT_EQ(ftp.State(), 0);
}

TEST_F(PyFtp, PassiveReplyNamingAnotherHostIsNotFollowed)
{
    writeFile(root + "/f.bin", "payload");
    PyFtpServer::Options o;
    o.masquerade = "10.255.255.1";
    startServer(o);
    login();
    ftp.TimeoutSeconds = 10;
    EXPECT_EQ(listAll(ftp).size(), 1);
    ftp.ReceiveFile("f.bin", 0, local + "/f.bin");
    EXPECT_EQ(readFile(local + "/f.bin"), "payload");
    EXPECT_TRUE(log.join("\n").contains("The server named 10.255.255.1 for the data connection; connecting to"));
}

TEST_F(PyFtp, ATransferCutShortByTheProgramQuittingIsNotTakenForDone)
{
    const QByteArray big = randomBytes(24 * 1024 * 1024, 5);
    writeFile(root + "/big.bin", big);
    startServer();
    login();
    // The program quits in the middle of a download: the nested loop of the blocking call ends
    // with the transfer unfinished.
    auto quitAt = QObject::connect(&ftp, &FtpComponent::TransferProgress, [&](const QString&, qint64, qint64 done, int) {
        if (done >= 2 * 1024 * 1024)
            QCoreApplication::exit(0);
    });
    bool returned = false;
    try {
        ftp.ReceiveFile("big.bin", 0, local + "/big.bin");
        returned = true;
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrAborted);
    }
    QObject::disconnect(quitAt);
    EXPECT_FALSE(returned) << "an unfinished download was reported complete";
    const QByteArray part = readFile(local + "/big.bin");
    EXPECT_LT(part.size(), big.size());
    EXPECT_EQ(part, big.left(part.size()));
    // Undo the quit for the tests that follow: an application loop that starts and ends clears it.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// A batch of small files costs the data connection and the transfer for each, plus the time an
// upload gives the file; each folder is listed once, TYPE is sent only when it changes, and no
// file is asked about (SIZE, MDTM) when its listing already tells.
TEST_F(PyFtp, ABatchOfFilesCostsOneTransferEachAndOneListingPerFolder)
{
    constexpr int kFiles = 20;
    QDir().mkpath(local + "/back");
    for (int i = 0; i < kFiles; ++i)
        writeFile(local + QString("/many/f%1.txt").arg(i), "123456789");
    startServer();
    login();
    const QList<std::tuple<const char*, std::function<void()>, int>> cases{
        {"upload into a new folder", [&] { ftp.SendFiles(local + "/many/*", "many", true, false); }, 0},
        {"the same upload again", [&] { ftp.SendFiles(local + "/many/*", "many", true, false); }, 1},
        {"folder download", [&] { ftp.ReceiveFiles("many/*", local + "/back", false); }, 1},
    };
    for (const auto& [what, run, expectedListings] : cases) {
        log.clear();
        ASSERT_NO_THROW(run()) << what;
        QMap<QString, int> sent;
        for (const QString& line : std::as_const(log))
            if (QRegularExpression("^[A-Z]{3,4}( |$)").match(line).hasMatch())
                ++sent[line.section(' ', 0, 0)];
        const int listings = sent.value("MLSD") + sent.value("LIST") + sent.value("NLST");
        const int transfers = sent.value("STOR") + sent.value("RETR");
        EXPECT_EQ(transfers, kFiles) << what;
        EXPECT_EQ(listings, expectedListings) << what;
        EXPECT_EQ(sent.value("EPSV") + sent.value("PASV"), transfers + listings) << what;
        EXPECT_LE(sent.value("TYPE"), 2) << what;
        EXPECT_EQ(sent.value("SIZE") + sent.value("MDTM"), 0) << what;
    }
    // The downloads took their times from the listing as MDTM would have given them.
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QString("/f%1.txt").arg(i);
        EXPECT_EQ(readFile(local + "/back" + name), "123456789");
        EXPECT_EQ(QFileInfo(local + "/back" + name).lastModified().toSecsSinceEpoch(), QFileInfo(root + "/many" + name).lastModified().toSecsSinceEpoch());
    }
}

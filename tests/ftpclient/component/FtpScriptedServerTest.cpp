// FtpComponent against scripted loopback servers: replies cut into fragments, unusual login
// dialogues, hostile passive replies and listings, and SOCKS proxies.
#include "ftpclient/component/FtpComponent.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QTcpServer>
#include <QFileInfo>
#include <QRegularExpression>

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::ScriptedFtpServer;
using harbel::test::SocksRelay;

namespace {

class Scripted : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        ftp.Host = "127.0.0.1";
        ftp.Port = server.port();
        ftp.User = "tess";
        ftp.Password = "pw";
        ftp.TimeoutSeconds = 10;
        QObject::connect(&ftp, &FtpComponent::LogLine, [this](const QString& l) { log << l; });
    }

    QStringList names()
    {
        QStringList out;
        auto c = QObject::connect(&ftp, &FtpComponent::ListingItem,
                                  [&](const QString& n, const QDateTime&, qint64, int) { out << n; });
        ftp.ListFolder({});
        QObject::disconnect(c);
        return out;
    }

    ScriptedFtpServer server;
    FtpComponent ftp;
    QStringList log;
};

// A peer that writes `greeting` to every client, answers each read with the next of `answers`,
// and closes the connection once they are used up.
class ScriptedPeer {
public:
    ScriptedPeer(QByteArray greeting, QList<QByteArray> answers) : greeting_(std::move(greeting)), answers_(std::move(answers))
    {
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = server_.nextPendingConnection()) {
                auto left = std::make_shared<QList<QByteArray>>(answers_);
                client->write(greeting_);
                QObject::connect(client, &QTcpSocket::readyRead, client, [client, left] {
                    client->readAll();
                    if (left->isEmpty())
                        client->disconnectFromHost();
                    else
                        client->write(left->takeFirst());
                });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return server_.serverPort(); }

private:
    QTcpServer server_;
    QByteArray greeting_;
    QList<QByteArray> answers_;
};

}  // namespace

TEST_F(Scripted, MultiLineRepliesInFragmentsAreReadWhole)
{
    server.setGreeting({"220-Welcome", "\r\n220-to the ", "scripted server\r\n", "220", " ready\r\n"});
    server.setFeatures("211-Features:\r\n MLST type*;size*;modify*;\r\n SIZE\r\n UTF8\r\n211 End\r\n");
    server.on("PWD", {"257-first line\r\n", "257 \"/srv/ftp\" is current\r\n"});
    ftp.Connect();
    EXPECT_EQ(ftp.State(), 2);
    EXPECT_TRUE(ftp.offersMlsd());
    EXPECT_TRUE(server.received().contains("OPTS UTF8 ON"));
    EXPECT_EQ(ftp.CurrentFolder(), "/srv/ftp");
    EXPECT_TRUE(log.contains("220-to the scripted server"));
}

TEST_F(Scripted, AccountAndSecondPasswordAreAskedFor)
{
    server.on("PASS", {"331 One more password please\r\n"});
    server.on("PASS", {"332 Need account\r\n"});
    server.on("ACCT", {"230 Logged in with account\r\n"});
    QStringList asked;
    QObject::connect(&ftp, &FtpComponent::PasswordRequired, [&](QString& p) { asked << "password"; p = "second"; });
    QObject::connect(&ftp, &FtpComponent::AccountRequired, [&](QString& a) { asked << "account"; a = "acct-7"; });
    ftp.Connect();
    EXPECT_EQ(asked, (QStringList{"password", "account"}));
    EXPECT_TRUE(server.received().contains("PASS second"));
    EXPECT_TRUE(server.received().contains("ACCT acct-7"));
    EXPECT_EQ(ftp.State(), 2);
}

TEST_F(Scripted, AnAccountNobodyGivesEndsTheLogin)
{
    server.on("USER", {"332 Need account for login\r\n"});
    QObject::connect(&ftp, &FtpComponent::AccountRequired, [](QString&) {});
    try {
        ftp.Connect();
        ADD_FAILURE();
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrLoginFailed);
    }
    EXPECT_EQ(ftp.State(), 0);
}

TEST_F(Scripted, PassiveReplyNamingAnotherHostConnectsToThePeer)
{
    server.setPassiveHost("10,255,255,1");
    server.onData("LIST", "-rw-r--r-- 1 u g 3 Jan 01 2020 a.txt\r\n");
    ftp.Connect();
    EXPECT_EQ(names(), QStringList{"a.txt"});
    EXPECT_EQ(server.dataConnections(), 1);
    EXPECT_TRUE(log.join("\n").contains("connecting to 127.0.0.1 instead"));
}

TEST_F(Scripted, HostileListingNamesAreListedButNeverWritten)
{
    server.setFeatures("211-Features:\r\n MLST type*;size*;\r\n211 End\r\n");
    QByteArray listing = QByteArray("type=file;size=4; ../escape.txt\r\n"
                         "type=file;size=4; a/b.txt\r\n"
                         "type=file;size=4; back\\slash.txt\r\n"
                         "type=file;size=4; ctrl\x01name\r\n"
                         "type=dir; ..\r\n")
                         + "type=file;size=4; " + QByteArray(300, 'L') + "\r\n"
                         "type=file;size=4; ok.txt\r\n";
    listing += QByteArray("type=file;size=4; nul") + '\0' + QByteArray("name\r\n");
    server.onData("MLSD", listing);
    server.onData("RETR", "data");
    const QString dest = test::testFolder() + "/dest/inner";
    QDir().mkpath(dest);
    ftp.Connect();
    const QStringList listed = names();
    EXPECT_TRUE(listed.contains("../escape.txt"));
    EXPECT_TRUE(listed.contains("a/b.txt"));
    EXPECT_FALSE(listed.contains(".."));

    QStringList skipped;
    QObject::connect(&ftp, &FtpComponent::FileSkipped, [&](const QString&, const QString& remote, qint64 code) {
        if (code == ftpSkipUnsafeName)
            skipped << remote;
    });
    ftp.ReceiveFiles("*", dest, true);
    EXPECT_EQ(QDir(dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"ok.txt"});
    EXPECT_EQ(QDir(test::testFolder() + "/dest").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"inner"});
    EXPECT_EQ(skipped.size(), 6);  // a name too long for a local file does not end the batch either
    const QStringList retrieved = server.received().filter("RETR");
    EXPECT_EQ(retrieved, QStringList{"RETR ok.txt"});
    EXPECT_TRUE(log.join("\n").contains("Skipped the listed name '../escape.txt': the name holds a path separator."));
    EXPECT_TRUE(log.join("\n").contains("'ctrl?name'"));  // control characters never reach the log raw
}

TEST_F(Scripted, DosListingIsUnderstood)
{
    server.onData("LIST",
                  "01-02-24  10:05PM       <DIR>          Program Files\r\n"
                  "12-31-99  11:59AM             12345 readme.txt\r\n");
    ftp.Connect();
    QList<std::tuple<QString, qint64, int>> items;
    QObject::connect(&ftp, &FtpComponent::ListingItem, [&](const QString& n, const QDateTime&, qint64 s, int k) {
        items.append({n, s, k});
    });
    ftp.ListFolder({});
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], std::make_tuple(QString("Program Files"), qint64(0), 1));
    EXPECT_EQ(items[1], std::make_tuple(QString("readme.txt"), qint64(12345), 0));
}

TEST_F(Scripted, NonsenseFromTheServerEndsTheSessionClearly)
{
    server.on("CWD", {"this is not ftp\r\n"});
    ftp.Connect();
    int disconnected = 0;
    QObject::connect(&ftp, &FtpComponent::Disconnected, [&] { ++disconnected; });
    try {
        ftp.ChangeFolder("x");
        ADD_FAILURE();
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrProtocol);
    }
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_EQ(disconnected, 1);
}

TEST_F(Scripted, CommandLinesCannotCarryASecondCommand)
{
    ftp.Connect();
    const qsizetype before = server.received().size();
    for (auto call : std::initializer_list<std::function<void()>>{
             [&] { ftp.ChangeFolder("a\r\nDELE precious"); },
             [&] { ftp.RenameItem("a", QString("b") + QChar(0) + "c"); },
             [&] { ftp.ReceiveFile("x\nDELE y", 0, test::testFolder() + "/x"); },
             [&] { ftp.SendCommand("NOOP\rDELE z"); }}) {
        try {
            call();
            ADD_FAILURE() << "sent a broken command line";
        } catch (const FtpError& e) {
            EXPECT_EQ(e.Number(), ftpErrUnsafeName);
        }
    }
    EXPECT_EQ(server.received().size(), before);
    EXPECT_TRUE(server.received().filter(QRegularExpression("^DELE")).isEmpty());
    EXPECT_EQ(ftp.State(), 2);
}

TEST_F(Scripted, ConnectsAndListsThroughSocks4AndSocks5)
{
    server.onData("LIST", "-rw-r--r-- 1 u g 3 Jan 01 2020 via-proxy.txt\r\n");
    for (int kind : {4, 5}) {
        SCOPED_TRACE(kind);
        SocksRelay relay(kind == 5);
        ASSERT_TRUE(relay.listen());
        FtpComponent viaProxy;
        viaProxy.Host = "127.0.0.1";
        viaProxy.Port = server.port();
        viaProxy.User = "tess";
        viaProxy.Password = "pw";
        viaProxy.ProxyKind = kind;
        viaProxy.ProxyHost = "127.0.0.1";
        viaProxy.ProxyPort = relay.port();
        viaProxy.ProxyUser = "puser";
        viaProxy.ProxyPassword = "ppass";
        viaProxy.Passive = false;  // through a proxy the component uses passive connections anyway
        viaProxy.TimeoutSeconds = 10;
        viaProxy.Connect();
        QStringList listed;
        QObject::connect(&viaProxy, &FtpComponent::ListingItem, [&](const QString& n, const QDateTime&, qint64, int) { listed << n; });
        viaProxy.ListFolder({});
        EXPECT_EQ(listed, QStringList{"via-proxy.txt"});
        ASSERT_EQ(relay.requests().size(), 2);  // control, then data
        EXPECT_EQ(relay.requests()[0].version, kind);
        EXPECT_EQ(relay.requests()[0].port, server.port());
        EXPECT_EQ(relay.requests()[0].user, "puser");
        if (kind == 5) {
            EXPECT_EQ(relay.requests()[0].password, "ppass");
        }
        viaProxy.Disconnect();
    }
}

TEST_F(Scripted, ADownloadShorterThanTheAnnouncedSizeIsNotReportedComplete)
{
    server.setFeatures("211-Features:\r\n SIZE\r\n211 End\r\n");
    server.on("SIZE", {"213 100\r\n"});
    server.onData("RETR", QByteArray(60, 'x'));
    ftp.Connect();
    const QString target = test::testFolder() + "/short.bin";
    try {
        ftp.ReceiveFile("short.bin", 0, target);
        ADD_FAILURE() << "a short download was reported complete";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrIncomplete);
        EXPECT_EQ(e.Description(), "The transfer of short.bin ended after 60 of 100 bytes.");
    }
    EXPECT_EQ(test::readFile(target), QByteArray(60, 'x'));  // what arrived is kept for a resume
    EXPECT_EQ(ftp.State(), 2);
}

TEST_F(Scripted, FeaturesOfAnEarlierServerAreForgottenWhenTheNextOneRefusesFeat)
{
    server.setReplaceClient(true);
    server.setFeatures("211-Features:\r\n MLST type*;size*;\r\n SIZE\r\n REST STREAM\r\n211 End\r\n");
    server.onData("LIST", "-rw-r--r-- 1 u g 3 Jan 01 2020 a.txt\r\n");
    ftp.Connect();
    EXPECT_TRUE(ftp.offersMlsd());
    ftp.Disconnect();

    server.on("FEAT", {"500 FEAT not understood\r\n"});
    ftp.Connect();
    EXPECT_FALSE(ftp.offersMlsd());
    EXPECT_EQ(names(), QStringList{"a.txt"});
    EXPECT_TRUE(server.received().filter("MLSD").isEmpty());
}

TEST_F(Scripted, ADownloadIsCheckedAgainstTheSizeTheStartReplyNamesWhenThereIsNoSize)
{
    server.setStartReplyNamesSize(true);
    server.onData("RETR", "0123456789");
    server.cutData("RETR", 4, "226 Transfer complete\r\n");  // cut short, yet called complete
    ftp.Connect();
    const QString target = test::testFolder() + "/named.bin";
    try {
        ftp.ReceiveFile("named.bin", 0, target);
        ADD_FAILURE() << "a short download was reported complete";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrIncomplete);
        EXPECT_EQ(e.Description(), "The transfer of named.bin ended after 4 of 10 bytes.");
    }
    EXPECT_EQ(test::readFile(target), "0123");

    // The whole file passes; so does a resume, whose start reply is not taken for the whole size.
    ftp.ReceiveFile("named.bin", 4, target);
    EXPECT_EQ(test::readFile(target), "0123456789");
    ftp.ReceiveFile("named.bin", 0, target + ".2");
    EXPECT_EQ(test::readFile(target + ".2"), "0123456789");
}

TEST_F(Scripted, ADownloadLongerThanTheAnnouncedSizeStopsAtIt)
{
    server.setFeatures("211-Features:\r\n SIZE\r\n211 End\r\n");
    server.on("SIZE", {"213 5\r\n"});
    server.onData("RETR", QByteArray("12345") + QByteArray(200000, 'z'));
    ftp.Connect();
    const QString target = test::testFolder() + "/long.bin";
    try {
        ftp.ReceiveFile("long.bin", 0, target);
        ADD_FAILURE() << "a download longer than its size was reported complete";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrIncomplete);
        EXPECT_EQ(e.Description(), "The server sent more than the 5 bytes of long.bin.");
    }
    EXPECT_EQ(test::readFile(target), "12345");
    EXPECT_EQ(ftp.State(), 2);
    EXPECT_EQ(ftp.CurrentFolder(), "/");
}

TEST_F(Scripted, AnAbortAnsweredWithOnlyOneReplyKeepsTheSessionAtOnce)
{
    // pyftpdlib answers an ABOR that comes before the transfer has begun with a single "225", and
    // the aborted command gets no reply of its own: waiting for one held the session until the time
    // limit and then dropped it.
    server.on("RETR", {"150 File status okay. About to open data connection.\r\n"});
    server.on("ABOR", {"225 ABOR command successful; data channel closed.\r\n"});
    ftp.Passive = true;
    ftp.Connect();
    QTimer::singleShot(200, &ftp, [this] { ftp.setAbortFlag(true); });
    QElapsedTimer took;
    took.start();
    try {
        ftp.ReceiveFile("never.bin", 0, harbel::test::testFolder() + "/never.bin");
        ADD_FAILURE() << "not aborted";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrAborted);
    }
    EXPECT_EQ(ftp.State(), 2);
    EXPECT_EQ(ftp.CurrentFolder(), "/");
    EXPECT_LT(took.elapsed(), 5000);
}

TEST_F(Scripted, ProxyRefusalsAndACloseInTheTlsHandshakeAreToldInTheirOwnWords)
{
    const QByteArray bound("\x00\x01\x7f\x00\x00\x01\x00\x15", 8);  // IPv4 127.0.0.1, port 21
    const struct {
        const char* name;
        int kind;
        QList<QByteArray> answers;
        QString expected;
    } cases[] = {
        {"SOCKS 4 refusal", 4, {QByteArray("\x00\x5b\x00\x15\x7f\x00\x00\x01", 8)},
         "The SOCKS 4 proxy refused the connection (code 91)."},
        {"not a SOCKS 5 proxy", 5, {"HTTP/1.1 400 Bad Request\r\n\r\n"}, "The proxy is not a SOCKS 5 proxy."},
        {"no common method", 5, {"\x05\xff"}, "The SOCKS 5 proxy accepts none of our login methods."},
        {"login refused", 5, {QByteArray("\x05\x02"), QByteArray("\x01\x01")}, "The SOCKS 5 proxy refused the user name or password."},
        {"connection refused", 5, {QByteArray("\x05\x00", 2), QByteArray("\x05\x05\x00", 3) + bound},
         "The SOCKS 5 proxy refused the connection (code 5)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer proxy({}, c.answers);
        ftp.ProxyKind = c.kind;
        ftp.ProxyHost = "127.0.0.1";
        ftp.ProxyPort = proxy.port();
        ftp.ProxyUser = "puser";
        ftp.ProxyPassword = "ppass";
        try {
            ftp.Connect();
            ADD_FAILURE() << "connected through a proxy that refused";
        } catch (const FtpError& e) {
            EXPECT_EQ(e.Number(), ftpErrConnectFailed);
            EXPECT_EQ(e.Description(), QStringLiteral("Could not connect to 127.0.0.1 on port %1: ").arg(ftp.Port) + c.expected);
        }
        EXPECT_EQ(ftp.State(), 0);
    }

    // A proxy kind without a proxy server is no proxy.
    ftp.ProxyHost.clear();
    ftp.Connect();
    EXPECT_EQ(ftp.State(), 2);
    ftp.Disconnect();

    // A server that agrees to TLS and closes the connection in the handshake.
    ScriptedPeer closer("220 ready\r\n", {"234 Proceed\r\n"});
    ftp.ProxyKind = 0;
    ftp.Port = closer.port();
    ftp.UseTls = true;
    try {
        ftp.Connect();
        ADD_FAILURE() << "connected to a server that closed in the TLS handshake";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrTls);
        EXPECT_EQ(e.Description(), "The TLS handshake with 127.0.0.1 failed: The remote host closed the connection. Nothing was sent in clear text.");
    }
    EXPECT_EQ(ftp.State(), 0);
}

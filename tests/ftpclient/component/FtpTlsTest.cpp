// FtpComponent with explicit FTP over TLS: against the real pyftpdlib TLS server (which, like
// vsftpd's require_ssl_reuse, refuses a data connection that does not resume the control
// connection's TLS session), and against servers that refuse TLS or break it.
#include "common/net/TlsTrust.h"
#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/IniCertificateTrust.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::PyFtpServer;
using harbel::test::ScriptedFtpServer;
using harbel::test::SocksRelay;
using harbel::test::TestAuthority;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::writeFile;

namespace {

class TlsFtp : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = test::testFolder() + "/server";
        local = test::testFolder() + "/local";
        QDir().mkpath(root);
        QDir().mkpath(local);
        authority = std::make_unique<TestAuthority>(test::testFolder() + "/ca");
        ASSERT_TRUE(authority->create()) << authority->why().toStdString();
        QString why;
        ASSERT_TRUE(tls::addTrustedAuthorities(authority->certificateFile(), &why)) << why.toStdString();
        trusted = std::make_unique<IniCertificateTrust>(test::testFolder() + "/TrustedCertificates.ini");
        ftp.setCertificateTrust(trusted.get());
        QObject::connect(&ftp, &FtpComponent::LogLine, [this](const QString& l) { log << l; });
        QObject::connect(&ftp, &FtpComponent::CertificateQuery, [this](const CertificateInfo& info, int& answer) {
            questions << info;
            answer = nextAnswer;
        });
    }
    void TearDown() override { tls::clearAddedAuthorities(); }

    void startServer(PyFtpServer::Options options = {}, const QStringList& hosts = {"127.0.0.1", "localhost"})
    {
        const TestAuthority::Issued issued = authority->issue("server", hosts);
        ASSERT_FALSE(issued.certificate.isEmpty()) << authority->why().toStdString();
        options.tlsCertificate = issued.certificate;
        options.tlsKey = issued.key;
        server = std::make_unique<PyFtpServer>(root, options);
        ASSERT_TRUE(server->start()) << server->error().toStdString();
    }

    void prepare(quint16 port, bool passive = true)
    {
        ftp.Host = "127.0.0.1";
        ftp.Port = port;
        ftp.User = "tess";
        ftp.Password = "secret";
        ftp.Passive = passive;
        ftp.UseTls = true;
        ftp.TimeoutSeconds = 10;
    }

    // What Connect threw, or nothing.
    std::optional<FtpError> connectError()
    {
        try {
            ftp.Connect();
        } catch (const FtpError& e) {
            return e;
        }
        return std::nullopt;
    }

    QStringList names()
    {
        QStringList out;
        auto c = QObject::connect(&ftp, &FtpComponent::ListingItem, [&](const QString& n, const QDateTime&, qint64, int) { out << n; });
        ftp.ListFolder({});
        QObject::disconnect(c);
        out.sort();
        return out;
    }

    QString root;
    QString local;
    std::unique_ptr<TestAuthority> authority;
    std::unique_ptr<PyFtpServer> server;
    std::unique_ptr<IniCertificateTrust> trusted;
    FtpComponent ftp;
    QStringList log;
    QList<CertificateInfo> questions;
    int nextAnswer = certRefuse;
};

}  // namespace

TEST_F(TlsFtp, ListsReceivesAndSendsByteForByteWithEveryConnectionEncryptedInBothModesAndThroughSocks)
{
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 17);
    writeFile(root + "/data.bin", content);
    startServer();

    for (const QString mode : {"passive", "active", "socks"}) {
        SCOPED_TRACE(mode.toStdString());
        log.clear();
        std::unique_ptr<SocksRelay> relay;
        prepare(server->port(), mode != "active");
        if (mode == "socks") {
            relay = std::make_unique<SocksRelay>(true);
            ASSERT_TRUE(relay->listen());
            ftp.ProxyKind = 5;
            ftp.ProxyHost = "127.0.0.1";
            ftp.ProxyPort = relay->port();
            ftp.ProxyUser = "puser";
            ftp.ProxyPassword = "ppass";
        }
        ASSERT_NO_THROW(ftp.Connect()) << log.join("\n").toStdString();
        EXPECT_TRUE(ftp.Encrypted());
        // Encrypted before the login, and the data connections protected after it.
        const qsizetype auth = log.indexOf("AUTH TLS");
        const qsizetype user = log.indexOf("USER tess");
        ASSERT_GE(auth, 0) << log.join("\n").toStdString();
        EXPECT_GT(user, auth);
        EXPECT_GT(log.indexOf("PROT P"), log.indexOf("PBSZ 0"));
        EXPECT_GT(log.indexOf("PBSZ 0"), user);

        EXPECT_TRUE(names().contains("data.bin"));
        const QString target = local + "/" + mode + ".bin";
        ftp.ReceiveFile("data.bin", 0, target);
        EXPECT_TRUE(readFile(target) == content);
        ftp.SendFile(target, 0, "up-" + mode + ".bin", false);
        EXPECT_TRUE(readFile(root + "/up-" + mode + ".bin") == content);
        // Every data connection resumed the control connection's session: the server refuses
        // any other with 522.
        EXPECT_FALSE(log.join("\n").contains("522"));
        if (relay) {
            EXPECT_GE(relay->requests().size(), 4);  // control, then a data connection per transfer
        }
        ftp.Disconnect();
        EXPECT_FALSE(ftp.Encrypted());
        ftp.ProxyKind = 0;
    }
    EXPECT_TRUE(questions.isEmpty());  // a certificate of a trusted authority needs no question
}

TEST_F(TlsFtp, DataCutShortWithoutACloseNotificationIsNotTakenForDoneAndTheRestResumes)
{
    const QByteArray content = randomBytes(1024 * 1024);
    writeFile(root + "/cut.bin", content);
    PyFtpServer::Options options;
    options.tlsCutData = 300000;  // and the server still answers 226
    startServer(options);
    prepare(server->port());
    ftp.Connect();
    const QString target = local + "/cut.bin";
    try {
        ftp.ReceiveFile("cut.bin", 0, target);
        ADD_FAILURE() << "a transfer cut short was reported complete";
    } catch (const FtpError& e) {
        EXPECT_EQ(e.Number(), ftpErrIncomplete);
        EXPECT_EQ(e.Description(), "The transfer of cut.bin ended after 300000 of 1048576 bytes.");
    }
    // What arrived is kept, and a resume fetches the rest over the same session.
    EXPECT_TRUE(readFile(target) == content.left(300000));
    EXPECT_EQ(ftp.State(), 2);
    ftp.ReceiveFile("cut.bin", 300000, target);
    EXPECT_TRUE(readFile(target) == content);
}

TEST_F(TlsFtp, ServersThatRefuseOrBreakTlsFailClearlyAndNothingGoesInClearText)
{
    // A server without TLS: whatever it answers, the login is not sent.
    for (const QByteArray code : {"500", "502", "504", "530"}) {
        SCOPED_TRACE(code.toStdString());
        ScriptedFtpServer plain;
        ASSERT_TRUE(plain.listen());
        plain.on("AUTH", {code + " AUTH not understood\r\n"});
        prepare(plain.port());
        const auto error = connectError();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), ftpErrTls);
        EXPECT_EQ(error->Description(), "The server 127.0.0.1 refused FTP over TLS (AUTH TLS): " + code
                                            + " AUTH not understood Nothing was sent in clear text.");
        EXPECT_EQ(plain.received(), QStringList{"AUTH TLS"});
        EXPECT_EQ(ftp.State(), 0);
    }

    // 234 and then text that is no TLS: in the same read as the 234, or a moment later.
    const QList<ScriptedFtpServer::Fragments> garbage{{"234 Proceed\r\nthis is not TLS\r\n"},
                                                     {"234 Proceed\r\n", "220 this is not TLS either\r\n"}};
    for (const auto& fragments : garbage) {
        ScriptedFtpServer liar;
        ASSERT_TRUE(liar.listen());
        liar.on("AUTH", fragments);
        prepare(liar.port());
        const auto error = connectError();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), ftpErrTls);
        EXPECT_TRUE(error->Description().startsWith("The TLS handshake with 127.0.0.1 failed: "))
            << error->Description().toStdString();
        EXPECT_TRUE(error->Description().endsWith("Nothing was sent in clear text."));
        EXPECT_EQ(liar.received().value(0), "AUTH TLS");
        EXPECT_FALSE(liar.received().join("\n").contains("USER")) << liar.received().join("\n").toStdString();
        EXPECT_EQ(ftp.State(), 0);
    }

    // A server that agrees and then says nothing more: the time limit ends the handshake.
    PyFtpServer::Options stall;
    stall.tlsStallHandshake = true;
    startServer(stall);
    prepare(server->port());
    ftp.TimeoutSeconds = 2;
    log.clear();
    const auto error = connectError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), ftpErrTimedOut);
    EXPECT_EQ(error->Description(), "The server 127.0.0.1 stopped answering in the middle of the TLS handshake.");
    EXPECT_FALSE(log.join("\n").contains("USER"));
    EXPECT_EQ(ftp.State(), 0);
    EXPECT_TRUE(questions.isEmpty());
}

TEST_F(TlsFtp, ACertificateForAnotherHostIsAskedAboutAndRefusedUnlessTrusted)
{
    writeFile(root + "/a.txt", "a");
    startServer({}, {"otherhost.example"});
    prepare(server->port());
    nextAnswer = certRefuse;
    auto error = connectError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), ftpErrCertificate);
    EXPECT_EQ(error->Description(), "The certificate of 127.0.0.1 was refused: the certificate is for another host (otherhost.example).");
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0].reason, "the certificate is for another host (otherhost.example)");
    EXPECT_EQ(questions[0].subject, "CN=otherhost.example");
    EXPECT_EQ(questions[0].issuer, "CN=Harbel Test Authority");
    EXPECT_FALSE(questions[0].changed());
    EXPECT_FALSE(log.join("\n").contains("USER"));
    EXPECT_EQ(ftp.State(), 0);

    // Trusted this time: the session works, data connections included, and nothing is kept.
    nextAnswer = certTrustOnce;
    ASSERT_FALSE(connectError());
    EXPECT_EQ(names(), QStringList{"a.txt"});
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(trusted->fingerprintFor("127.0.0.1", server->port()).isEmpty());
    ftp.Disconnect();
}

// The connector of common/net: every kind of route (straight, SOCKS 4/4a, SOCKS 5 with and without
// a login, HTTP CONNECT with and without credentials, each plain and with TLS) against real loopback
// servers, and the certificate policies against a certificate the system does not trust.

#include "common/net/Connector.h"
#include "common/net/TlsTrust.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TinyProxy.h"

#include <QSslCertificate>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <optional>

using namespace harbel;
using harbel::net::CertificatePolicy;
using harbel::net::Connector;
using harbel::net::Failure;
using harbel::net::Proxy;
using harbel::net::Route;
using harbel::test::waitUntil;

namespace {

const QByteArray kPage = "a page that came along the route\n";

// How one opening ended, and what came over the connection once it stood.
struct Outcome {
    bool ready = false;
    bool lowDelay = false;
    std::optional<Failure> failure;
    QByteArray received;
    int questions = 0;
};

class ConnectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        authority = std::make_unique<test::TestAuthority>(test::testFolder() + "/ca");
        ASSERT_TRUE(authority->create()) << authority->why().toStdString();
        issued = authority->issue("server", {"127.0.0.1", "localhost"});
        ASSERT_FALSE(issued.certificate.isEmpty()) << authority->why().toStdString();
        nginx = std::make_unique<test::NginxServer>(test::testFolder() + "/nginx");
        nginx->setTls(issued.certificate, issued.key);
        ASSERT_TRUE(nginx->start()) << nginx->why().toStdString();
        test::writeFile(nginx->root() + "/page.txt", kPage);
        ftp.setReplaceClient(true);
        ASSERT_TRUE(ftp.listen());
    }
    void TearDown() override { tls::clearAddedAuthorities(); }

    // Opens route; once ready, reads what the server says first (the FTP greeting) or asks the web
    // server for the page. answer: what the owner says to a certificate question.
    Outcome open(const Route& route, bool acceptQuestion = false)
    {
        Outcome outcome;
        Connector connector;
        QObject::connect(&connector, &Connector::ready, [&] {
            outcome.ready = true;
            outcome.lowDelay = connector.socket().socketOption(QAbstractSocket::LowDelayOption).toInt() == 1;
            if (route.tls)
                connector.socket().write("GET /page.txt HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
        });
        QObject::connect(&connector, &Connector::readyRead, [&] { outcome.received += connector.socket().readAll(); });
        QObject::connect(&connector, &Connector::failed, [&](const Failure& f) { outcome.failure = f; });
        QObject::connect(&connector, &Connector::certificateQuestion, [&](const QSslCertificate&, const QList<QSslError>& errors) {
            ++outcome.questions;
            EXPECT_FALSE(errors.isEmpty());
            if (acceptQuestion)
                connector.acceptCertificate();
            else
                connector.refuseCertificate();
        });
        connector.open(route);
        const QByteArray wanted = route.tls ? kPage : QByteArray("220 scripted server ready\r\n");
        waitUntil([&] { return outcome.failure || outcome.received.endsWith(wanted); }, 15000);
        if (outcome.ready && !outcome.failure) {
            EXPECT_EQ(connector.isSecure(), route.tls);
            EXPECT_EQ(connector.peerCertificate().isNull(), !route.tls);
        }
        return outcome;
    }

    std::unique_ptr<test::TestAuthority> authority;
    test::TestAuthority::Issued issued;
    std::unique_ptr<test::NginxServer> nginx;
    test::ScriptedFtpServer ftp;
};

}  // namespace

TEST_F(ConnectorTest, EveryKindOfRouteReachesTheServerOrSaysWhyNot)
{
    ASSERT_TRUE(tls::addTrustedAuthorities(authority->certificateFile(), nullptr));
    test::SocksRelay openRelay;
    test::SocksRelay guardedRelay(true);
    ASSERT_TRUE(openRelay.listen());
    ASSERT_TRUE(guardedRelay.listen());
    test::TinyProxy openProxy(test::testFolder() + "/open-proxy");
    test::TinyProxy guardedProxy(test::testFolder() + "/guarded-proxy");
    guardedProxy.setCredentials("puser", "s3cret");
    ASSERT_TRUE(openProxy.start()) << openProxy.why().toStdString();
    ASSERT_TRUE(guardedProxy.start()) << guardedProxy.why().toStdString();

    enum class Hop { None, OpenRelay, GuardedRelay, OpenProxy, GuardedProxy, Nowhere };
    struct Case {
        const char* name;
        Proxy::Kind kind;
        Hop hop;
        bool login;
        bool tls;
        QString host;
        // The failure, or none when the route must stand.
        std::optional<Failure::Reason> reason;
        QString description;
        int proxyStatus = 0;
    };
    const QList<Case> cases{
        {"straight", Proxy::Kind::None, Hop::None, false, false, "127.0.0.1", {}, {}},
        {"straight, TLS", Proxy::Kind::None, Hop::None, false, true, "127.0.0.1", {}, {}},
        {"SOCKS 4a to a name", Proxy::Kind::Socks4, Hop::OpenRelay, true, false, "localhost", {}, {}},
        {"SOCKS 4, TLS", Proxy::Kind::Socks4, Hop::OpenRelay, true, true, "127.0.0.1", {}, {}},
        {"SOCKS 5 without login", Proxy::Kind::Socks5, Hop::OpenRelay, false, false, "127.0.0.1", {}, {}},
        {"SOCKS 5 with login, TLS to a name", Proxy::Kind::Socks5, Hop::GuardedRelay, true, true, "localhost", {}, {}},
        {"SOCKS 5 that wants a login", Proxy::Kind::Socks5, Hop::GuardedRelay, false, false, "127.0.0.1",
         Failure::Reason::ProxyRefused, "The SOCKS 5 proxy accepts none of our login methods."},
        {"CONNECT, server speaks first", Proxy::Kind::HttpConnect, Hop::OpenProxy, false, false, "127.0.0.1", {}, {}},
        {"CONNECT with credentials, TLS", Proxy::Kind::HttpConnect, Hop::GuardedProxy, true, true, "localhost", {}, {}},
        {"CONNECT without credentials", Proxy::Kind::HttpConnect, Hop::GuardedProxy, false, true, "127.0.0.1",
         Failure::Reason::ProxyRefused, "HTTP/1.0 407 Proxy Authentication Required", 407},
        {"a proxy without its server", Proxy::Kind::Socks5, Hop::Nowhere, false, false, "127.0.0.1",
         Failure::Reason::NoProxyServer, "no proxy server is named"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Route route;
        route.host = c.host;
        route.port = c.tls ? nginx->tlsPort() : ftp.port();
        route.tls = c.tls;
        const quint16 hopPort = c.hop == Hop::OpenRelay       ? openRelay.port()
                                : c.hop == Hop::GuardedRelay  ? guardedRelay.port()
                                : c.hop == Hop::OpenProxy     ? openProxy.port()
                                : c.hop == Hop::GuardedProxy  ? guardedProxy.port()
                                                              : 0;
        route.proxy = {c.kind, c.hop == Hop::Nowhere ? QString() : QStringLiteral("127.0.0.1"), hopPort, c.login, "puser", "s3cret"};
        const Outcome outcome = open(route);
        if (!c.reason) {
            EXPECT_FALSE(outcome.failure) << outcome.failure->description.toStdString();
            EXPECT_TRUE(outcome.ready);
            EXPECT_TRUE(outcome.lowDelay);
            continue;
        }
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(outcome.failure->reason, *c.reason);
        EXPECT_TRUE(outcome.failure->final);
        EXPECT_EQ(outcome.failure->description, c.description);
        EXPECT_EQ(outcome.failure->proxyStatus, c.proxyStatus);
        EXPECT_FALSE(outcome.ready);
    }
    // The relays were asked for the names and logins of the routes.
    ASSERT_EQ(openRelay.requests().size(), 3);
    EXPECT_EQ(openRelay.requests()[0].version, 4);
    EXPECT_EQ(openRelay.requests()[0].host, "localhost");
    EXPECT_EQ(openRelay.requests()[0].user, "puser");
    EXPECT_EQ(openRelay.requests()[2].version, 5);
    ASSERT_EQ(guardedRelay.requests().size(), 1);
    EXPECT_EQ(guardedRelay.requests()[0].host, "localhost");
    EXPECT_EQ(guardedRelay.requests()[0].password, "s3cret");

    // Nobody listens: a network fault, which a retry may get past.
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
    Route closed;
    closed.host = "127.0.0.1";
    closed.port = gone.serverPort();
    gone.close();
    const Outcome refused = open(closed);
    ASSERT_TRUE(refused.failure);
    EXPECT_EQ(refused.failure->reason, Failure::Reason::Unreachable);
    EXPECT_FALSE(refused.failure->final);
    EXPECT_EQ(refused.failure->error, QAbstractSocket::ConnectionRefusedError);
}

TEST_F(ConnectorTest, AnUntrustedCertificateIsRefusedAskedAboutOrMatchedAsThePolicySays)
{
    // The private authority is not trusted here: the server's certificate fails verification.
    const QSslCertificate server = QSslCertificate::fromPath(issued.certificate).value(0);
    const QSslCertificate other = QSslCertificate::fromPath(authority->certificateFile()).value(0);
    ASSERT_FALSE(server.isNull());
    struct Case {
        const char* name;
        CertificatePolicy policy;
        bool accept;
        QSslCertificate settled;
        bool stands;
        int questions;
    };
    const QList<Case> cases{
        {"refused", CertificatePolicy::Refuse, false, QSslCertificate(), false, 0},
        {"asked and accepted", CertificatePolicy::Ask, true, QSslCertificate(), true, 1},
        {"asked and refused", CertificatePolicy::Ask, false, QSslCertificate(), false, 1},
        {"the settled one", CertificatePolicy::SameAsSettled, false, server, true, 0},
        {"not the settled one", CertificatePolicy::SameAsSettled, false, other, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Route route;
        route.host = "127.0.0.1";
        route.port = nginx->tlsPort();
        route.tls = true;
        route.certificates = c.policy;
        route.settled = c.settled;
        const Outcome outcome = open(route, c.accept);
        EXPECT_EQ(outcome.questions, c.questions);
        if (c.stands) {
            EXPECT_FALSE(outcome.failure) << outcome.failure->description.toStdString();
            EXPECT_TRUE(outcome.received.endsWith(kPage));
            continue;
        }
        ASSERT_TRUE(outcome.failure);
        EXPECT_EQ(outcome.failure->reason, Failure::Reason::CertificateRefused);
        EXPECT_TRUE(outcome.failure->final);
        EXPECT_EQ(outcome.failure->description, "the certificate is not trusted");
    }

    // Trusted, the certificate must still be for the name the user gave.
    ASSERT_TRUE(tls::addTrustedAuthorities(authority->certificateFile(), nullptr));
    Route elsewhere;
    elsewhere.host = "127.0.0.1";
    elsewhere.port = nginx->tlsPort();
    elsewhere.tls = true;
    elsewhere.verifyName = "otherhost.example";
    const Outcome mismatch = open(elsewhere);
    ASSERT_TRUE(mismatch.failure);
    EXPECT_EQ(mismatch.failure->reason, Failure::Reason::CertificateRefused);
    EXPECT_TRUE(mismatch.failure->description.startsWith("the certificate is for another host ("))
        << mismatch.failure->description.toStdString();

    // A trusted certificate whose common name is the host but whose alternative names are for
    // others is for those others only: refused, asked about, or taken when settled on.
    const test::TestAuthority::Issued cnOnly = authority->issue("cn-only", {"other.example", "10.9.8.7"}, false, "localhost");
    test::NginxServer second(test::testFolder() + "/nginx-cn");
    second.setTls(cnOnly.certificate, cnOnly.key);
    ASSERT_TRUE(second.start()) << second.why().toStdString();
    test::writeFile(second.root() + "/page.txt", kPage);
    const QSslCertificate cnCertificate = QSslCertificate::fromPath(cnOnly.certificate).value(0);
    for (const Case& c : QList<Case>{{"cn refused", CertificatePolicy::Refuse, false, {}, false, 0},
                                     {"cn asked and accepted", CertificatePolicy::Ask, true, {}, true, 1},
                                     {"cn asked and refused", CertificatePolicy::Ask, false, {}, false, 1},
                                     {"cn settled", CertificatePolicy::SameAsSettled, false, cnCertificate, true, 0}}) {
        SCOPED_TRACE(c.name);
        Route route;
        route.host = "127.0.0.1";
        route.port = second.tlsPort();
        route.tls = true;
        route.verifyName = "localhost";
        route.certificates = c.policy;
        route.settled = c.settled;
        const Outcome outcome = open(route, c.accept);
        EXPECT_EQ(outcome.questions, c.questions);
        EXPECT_EQ(bool(outcome.failure), !c.stands);
        if (outcome.failure)
            EXPECT_EQ(outcome.failure->description, "the certificate is for another host (other.example, 10.9.8.7)");
    }
}

TEST_F(ConnectorTest, AlternativeNamesAreMatchedAsRfc6125Says)
{
    const test::TestAuthority::Issued named = authority->issue("named", {"*.example.com", "exact.test", "10.0.0.1", "::1"});
    const QSslCertificate certificate = QSslCertificate::fromPath(named.certificate).value(0);
    ASSERT_FALSE(certificate.isNull());
    const QList<std::pair<const char*, bool>> hosts{
        {"a.example.com", true}, {"A.Example.COM", true},  {"example.com", false}, {"a.b.example.com", false},
        {"exact.test", true},    {"EXACT.test.", true},    {"xexact.test", false}, {"10.0.0.1", true},
        {"10.0.0.2", false},     {"[::1]", true},          {"::1", true},          {"127.0.0.1", false},
    };
    for (const auto& [host, expected] : hosts)
        EXPECT_EQ(tls::namesHost(certificate, host), expected) << host;
    // No alternative names: the common name, which the library checked, decides.
    EXPECT_TRUE(tls::namesHost(QSslCertificate::fromPath(authority->certificateFile()).value(0), "anything.example"));
}

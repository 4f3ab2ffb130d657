// The FTP data channel of common/ftp: downloads and uploads against the real pyftpdlib, passive
// and active, plain and over TLS (the server refuses a data connection that does not resume the
// control connection's session), and passive through a SOCKS 5 proxy, with a minimal dialogue of
// the test's own on a connector.

#include "common/ftp/FtpDataChannel.h"
#include "common/ftp/FtpReply.h"
#include "common/net/Connector.h"
#include "common/net/TlsTrust.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>

#include <gtest/gtest.h>

#include <optional>

using namespace harbel;
using harbel::net::Failure;
using harbel::test::waitUntil;

namespace {

// The control connection of one login: replies in the order they came.
class ControlSession {
public:
    explicit ControlSession(const net::Route& route)
    {
        QObject::connect(&connector, &net::Connector::readyRead, [this] { replies += parser.feed(connector.socket().readAll()); });
        QObject::connect(&connector, &net::Connector::failed, [this](const Failure& f) { failure = f; });
        connector.open(route);
    }

    FtpReply next()
    {
        waitUntil([this] { return !replies.isEmpty() || failure; }, 15000);
        return replies.isEmpty() ? FtpReply{} : replies.takeFirst();
    }
    FtpReply command(const QString& line)
    {
        connector.socket().write(line.toUtf8() + "\r\n");
        return next();
    }
    // Greeting, AUTH TLS and its handshake when tls, the login, PBSZ and PROT P, TYPE I.
    bool login(bool tls)
    {
        if (next().code != 220)
            return false;
        if (tls) {
            if (command("AUTH TLS").code != 234)
                return false;
            bool encrypted = false;
            QObject::connect(&connector, &net::Connector::encrypted, [&] { encrypted = true; });
            connector.startTls();
            if (!waitUntil([&] { return encrypted || failure; }, 15000) || failure)
                return false;
        }
        if (command("USER tess").code != 331 || command("PASS secret").code != 230)
            return false;
        if (tls && (command("PBSZ 0").code != 200 || command("PROT P").code != 200))
            return false;
        return command("TYPE I").code == 200;
    }

    net::Connector connector;
    FtpReplyParser parser;
    QList<FtpReply> replies;
    std::optional<Failure> failure;
};

// One transfer command over a data channel: what came (download) after sending upload, if any.
QByteArray transfer(ControlSession& control, const FtpDataChannel::Setup& setup, const QString& command,
                    const QByteArray& upload = {})
{
    FtpDataChannel channel;
    QByteArray received;
    bool accepted = false;
    bool sent = false;
    bool ended = false;
    std::optional<Failure> failure;
    auto pump = [&] {
        if (upload.isEmpty() || !accepted || !channel.isReady() || sent)
            return;
        sent = true;
        channel.socket()->write(upload);
        channel.finishUpload();
    };
    QObject::connect(&channel, &FtpDataChannel::ready, pump);
    QObject::connect(&channel, &FtpDataChannel::readyRead, [&] { received += channel.socket()->readAll(); });
    QObject::connect(&channel, &FtpDataChannel::ended, [&] {
        received += channel.socket()->readAll();
        ended = true;
    });
    QObject::connect(&channel, &FtpDataChannel::failed, [&](const Failure& f) { failure = f; });

    const FtpReply announced = control.command(channel.begin(setup));
    if (setup.passive) {
        EXPECT_EQ(announced.code, 227);
        EXPECT_TRUE(channel.connectPassive(announced));
    } else {
        EXPECT_EQ(announced.code, 200);
    }
    EXPECT_TRUE(control.command(command).isPreliminary());  // 150, or 125 with the connection there already
    accepted = true;
    channel.transferAccepted();
    pump();
    EXPECT_TRUE(waitUntil([&] { return ended || failure; }, 30000));
    EXPECT_FALSE(failure) << failure->description.toStdString();
    EXPECT_TRUE(channel.hasEnded());
    EXPECT_EQ(control.next().code, 226);
    return received;
}

}  // namespace

TEST(FtpDataChannelTest, DownloadsAndUploadsArriveWholeInEveryModeAndOverTls)
{
    const QString root = test::testFolder() + "/served";
    QDir().mkpath(root);
    const QByteArray content = test::randomBytes(3 * 1024 * 1024 + 11);
    test::writeFile(root + "/data.bin", content);

    test::TestAuthority authority(test::testFolder() + "/ca");
    ASSERT_TRUE(authority.create()) << authority.why().toStdString();
    const test::TestAuthority::Issued issued = authority.issue("server", {"127.0.0.1"});
    ASSERT_TRUE(tls::addTrustedAuthorities(authority.certificateFile(), nullptr));
    test::PyFtpServer plain(root);
    test::PyFtpServer::Options tlsOptions;
    tlsOptions.tlsCertificate = issued.certificate;
    tlsOptions.tlsKey = issued.key;
    test::PyFtpServer secure(root, tlsOptions);
    ASSERT_TRUE(plain.start()) << plain.error().toStdString();
    ASSERT_TRUE(secure.start()) << secure.error().toStdString();
    test::SocksRelay relay(true);
    ASSERT_TRUE(relay.listen());

    struct Mode {
        const char* name;
        bool passive;
        bool tls;
        bool socks;
    };
    const QList<Mode> modes{
        {"passive", true, false, false},
        {"active", false, false, false},
        {"passive, TLS", true, true, false},
        {"active, TLS", false, true, false},
        {"passive, TLS, through SOCKS 5", true, true, true},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        net::Route route;
        route.host = "127.0.0.1";
        route.port = mode.tls ? secure.port() : plain.port();
        route.explicitTls = mode.tls;
        // The owner is asked about a certificate that fails; the data connections need the settled one.
        route.certificates = net::CertificatePolicy::Ask;
        if (mode.socks)
            route.proxy = {net::Proxy::Kind::Socks5, "127.0.0.1", relay.port(), true, "puser", "ppass"};
        ControlSession control(route);
        ASSERT_TRUE(control.login(mode.tls)) << (control.failure ? control.failure->description.toStdString() : "");

        FtpDataChannel::Setup setup = FtpDataChannel::Setup::fromControl(control.connector);
        setup.passive = mode.passive;
        setup.protect = mode.tls;
        EXPECT_TRUE(transfer(control, setup, "RETR data.bin") == content);
        const QString name = QStringLiteral("up-%1.bin").arg(QString::fromLatin1(mode.name).replace(u' ', u'-').remove(u','));
        EXPECT_TRUE(transfer(control, setup, "STOR " + name, content).isEmpty());
        EXPECT_TRUE(test::readFile(root + "/" + name) == content);
    }
    // Through the proxy went the control connection and both data connections.
    EXPECT_EQ(relay.requests().size(), 3);
}

TEST(FtpDataChannelTest, DataPortCommandsFollowTheControlConnectionsAddressFamily)
{
    const struct {
        const char* address;
        quint16 port;
        const char* passive;
        const char* active;
    } cases[] = {
        {"192.168.1.20", 3100, "PASV", "PORT 192,168,1,20,12,28"},
        {"::ffff:10.0.0.1", 65535, "PASV", "PORT 10,0,0,1,255,255"},
        {"2001:db8::5", 50000, "EPSV", "EPRT |2|2001:db8::5|50000|"},
        {"fe80::1%1", 21000, "EPSV", "EPRT |2|fe80::1|21000|"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const QHostAddress address(QString::fromLatin1(c.address));
        EXPECT_EQ(passiveCommand(address), c.passive);
        EXPECT_EQ(activeCommand(address, c.port), c.active);
    }
}

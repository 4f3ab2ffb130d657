// The proxy of the settings: plain downloads through it in absolute form, secure ones through a
// CONNECT tunnel, its credentials sent to it alone. A real tinyproxy and a real nginx (plain and
// TLS) on loopback; a scripted proxy for refusals tinyproxy does not make.

#include "downloader/window/frmDownload.h"
#include "downloader/main/DownloadWindows.h"

#include "common/net/TlsTrust.h"
#include "common/platform/CRegister.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TinyProxy.h"

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <optional>

using namespace harbel;
using harbel::test::NginxServer;
using harbel::test::ScriptedHttpServer;
using harbel::test::TestAuthority;
using harbel::test::TinyProxy;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::waitUntil;

namespace {

const QString kProxyRefused = QStringLiteral("The proxy server refused the connection: ");

class ProxyDownload : public test::DownloadRunTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        authority = std::make_unique<TestAuthority>(test::testFolder() + "/ca");
        ASSERT_TRUE(authority->create()) << authority->why().toStdString();
        const TestAuthority::Issued issued = authority->issue("server", {"127.0.0.1"});
        ASSERT_FALSE(issued.certificate.isEmpty()) << authority->why().toStdString();
        tls::clearAddedAuthorities();
        ASSERT_TRUE(tls::addTrustedAuthorities(authority->certificateFile(), nullptr));
        nginx = std::make_unique<NginxServer>(test::testFolder() + "/nginx");
        nginx->setTls(issued.certificate, issued.key);
        ASSERT_TRUE(nginx->start()) << nginx->why().toStdString();
        proxy = std::make_unique<TinyProxy>(test::testFolder() + "/proxy");
        proxy->setCredentials("pellanor", "s3cret");
        ASSERT_TRUE(proxy->start()) << proxy->why().toStdString();
        useProxy(proxy->port(), "pellanor", "s3cret");
    }
    void TearDown() override
    {
        tls::clearAddedAuthorities();
        DownloadJobTest::TearDown();
    }

    static void useProxy(quint16 port, const QString& user, const QString& password)
    {
        DownloadSettings& s = SettingsStore::instance().record;
        s.UseProxy = true;
        s.ProxyServer = "127.0.0.1";
        s.ProxyPort = port;
        s.LoginProxy = true;
        s.UserID = user;
        s.UsePass = true;
        s.UserPass = password;
    }

    std::unique_ptr<TestAuthority> authority;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<TinyProxy> proxy;
};

}  // namespace

TEST_F(ProxyDownload, PlainAndSecureDownloadsGoThroughTheProxyWhichAloneSeesTheCredentials)
{
    const QByteArray plain = randomBytes(2 * 1024 * 1024 + 3);
    const QByteArray secure = randomBytes(6 * 1024 * 1024 + 7);
    test::writeFile(nginx->root() + "/plain.bin", plain);
    test::writeFile(nginx->root() + "/secure.bin", secure);

    frmDownload* job = start(nginx->url("plain.bin"), "plain.bin");
    ASSERT_TRUE(finish(job)) << job->lblStatus.Caption().toStdString();
    EXPECT_TRUE(readFile(folder + "/plain.bin") == plain);

    // Six segments, each through its own tunnel.
    DownloadSettings& s = SettingsStore::instance().record;
    s.Segment = 1;
    s.SegmentSize = {1, 0, 1e12, 0, 1e12, 0, 1e12, 0, 1};
    prompts.answer(MsgAnswer::Yes);
    frmDownload* tunnelled = start(nginx->tlsUrl("secure.bin"), "secure.bin");
    ASSERT_TRUE(finish(tunnelled)) << tunnelled->lblStatus.Caption().toStdString();
    EXPECT_EQ(tunnelled->segments(), 6);
    EXPECT_TRUE(readFile(folder + "/secure.bin") == secure);

    // The proxy carried every request: the plain ones in absolute form, the secure ones in tunnels.
    const QStringList proxied = proxy->log();
    const QString plainTarget = QStringLiteral("GET http://127.0.0.1:%1/plain.bin HTTP/1.1").arg(nginx->port());
    const QString tunnel = QStringLiteral("CONNECT 127.0.0.1:%1 HTTP/1.1").arg(nginx->tlsPort());
    EXPECT_GE(proxied.filter(plainTarget).size(), 2) << proxied.join('\n').toStdString();
    EXPECT_GE(proxied.filter(tunnel).size(), 7) << proxied.join('\n').toStdString();

    // The server saw every request, and no proxy credentials in any of them.
    const QStringList seen = nginx->requestLog();
    EXPECT_GE(seen.filter("GET /plain.bin ").size(), 2);
    EXPECT_GE(seen.filter("GET /secure.bin ").size(), 7);
    for (const QString& line : seen) {
        EXPECT_EQ(line.section(" | ", 2, 2), "-") << line.toStdString();
        // Plain requests came through the proxy, which says so.
        if (line.startsWith("GET /plain.bin ")) {
            EXPECT_TRUE(line.section(" | ", 3, 3).contains("tinyproxy")) << line.toStdString();
        }
    }
}

TEST_F(ProxyDownload, ProxyThatRefusesEndsTheJobWithAClearStatus)
{
    test::writeFile(nginx->root() + "/f.bin", randomBytes(1000));
    // The proxy wants credentials and gets none.
    SettingsStore::instance().record.LoginProxy = false;
    frmDownload* plain = start(nginx->url("f.bin"), "plain.bin");
    ASSERT_FALSE(finish(plain));
    EXPECT_EQ(plain->lblStatus.Caption(), "Failed: HTTP 407 - Proxy Authentication Required");
    frmDownload* secure = start(nginx->tlsUrl("f.bin"), "secure.bin");
    ASSERT_FALSE(finish(secure));
    EXPECT_EQ(secure->lblStatus.Caption(), "Failed: " + kProxyRefused + "HTTP 407 - Proxy Authentication Required");
    EXPECT_FALSE(secure->tmrTimeOut.isEnabled());
    EXPECT_TRUE(nginx->requestLog().isEmpty());

    // A proxy that forbids the tunnel, or cannot reach the server. The credentials go on the
    // CONNECT request, to the proxy.
    ScriptedHttpServer scripted;
    useProxy(scripted.port(), "user", "pa:ss");
    for (const auto& [reply, status] : {std::pair{QByteArray("HTTP/1.1 403 Filtered\r\nContent-Length: 0\r\n\r\n"),
                                                  QString("HTTP 403.x - Forbidden: Access Denied")},
                                        std::pair{QByteArray("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n"),
                                                  QString("HTTP 502 - Bad Gateway")},
                                        std::pair{QByteArray("HTTP/1.1 418 Teapot\r\nContent-Length: 0\r\n\r\n"),
                                                  QString("HTTP/1.1 418 Teapot")}}) {
        scripted.script(reply);
        frmDownload* job = start("https://origin.test/x.bin", "x.bin");
        ASSERT_FALSE(finish(job));
        EXPECT_EQ(job->lblStatus.Caption(), "Failed: " + kProxyRefused + status);
        EXPECT_EQ(scripted.requests().last().text, "CONNECT origin.test:443 HTTP/1.1\r\nHost: origin.test:443\r\n"
                                                   "Proxy-Authorization: Basic dXNlcjpwYTpzcw==\r\n\r\n");
    }

    // "Use Proxy Server" without a server sends nothing anywhere.
    SettingsStore::instance().record.ProxyServer = " ";
    frmDownload* unset = start(nginx->url("f.bin"), "unset.bin");
    ASSERT_FALSE(finish(unset));
    EXPECT_EQ(unset->lblStatus.Caption(), "Failed: Could not connect to the proxy server: the settings name no proxy server");
    EXPECT_TRUE(nginx->requestLog().isEmpty());

    // A proxy that is not there is a network fault: the countdown may try again.
    scripted.stopListening();
    SettingsStore::instance().record.ProxyServer = "127.0.0.1";
    frmDownload* away = start(nginx->url("f.bin"), "away.bin");
    ASSERT_FALSE(finish(away));
    EXPECT_TRUE(away->lblStatus.Caption().startsWith("Could not connect to the proxy server: ")) << away->lblStatus.Caption().toStdString();
    EXPECT_TRUE(away->tmrTimeOut.isEnabled());
    EXPECT_TRUE(nginx->requestLog().isEmpty());
}

TEST_F(ProxyDownload, APasswordNotSavedIsAskedForOnceARunAndNeverWhenNobodyWatches)
{
    const QByteArray content = randomBytes(300000);
    test::writeFile(nginx->root() + "/asked.bin", content);
    // The password was typed where no keyring ran and was not kept: the settings say only that.
    for (const auto& [name, value] : {std::pair{"UseProxy", QString("1")}, {"LoginProxy", QString("1")}, {"UsePass", QString("1")},
                                      {"ProxyServer", QString("127.0.0.1")}, {"ProxyPort", QString::number(proxy->port())},
                                      {"UserID", QString("pellanor")}, {"UserPass", QString("{asked at each use}")}})
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), name, value);
    SettingsStore::instance().LoadSettings();
    ASSERT_TRUE(SettingsStore::instance().proxyPasswordWanted());

    const struct {
        const char* name;
        bool unattended;
        std::optional<QString> answer;  // when asked; nullopt dismisses the question
        bool asked;
        Progress::State state;
        const char* status;
    } cases[] = {
        {"schedule.bin", true, std::nullopt, false, Progress::State::Failed, "The proxy password is not saved"},
        {"dismissed.bin", false, std::nullopt, true, Progress::State::Stopped, "Stopped: the proxy password was not given."},
        {"given.bin", false, QString("s3cret"), true, Progress::State::Completed, ""},
        // Kept for the rest of the run: not asked again.
        {"again.bin", false, std::nullopt, false, Progress::State::Completed, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype before = prompts.records().size();
        if (c.asked)
            prompts.answerText(c.answer);
        std::optional<DownloadWindows::Unattended> nobody;
        if (c.unattended)
            nobody.emplace(windows);
        frmDownload* job = start(nginx->url("asked.bin"), c.name);
        ASSERT_NE(job, nullptr);
        // A job that cannot go through the proxy ends before it connects anywhere.
        if (c.state == Progress::State::Completed)
            EXPECT_TRUE(finish(job)) << job->lblStatus.Caption().toStdString();
        EXPECT_EQ(job->job().progress().state, c.state);
        EXPECT_TRUE(job->job().progress().status.contains(c.status)) << job->job().progress().status.toStdString();
        EXPECT_EQ(prompts.records().size(), before + (c.asked ? 1 : 0));
        if (c.asked)
            EXPECT_EQ(prompts.last().kind, ScriptedPrompts::Kind::PasswordBox);
        EXPECT_EQ(QFile::exists(folder + "/" + c.name), c.state == Progress::State::Completed);
    }
    EXPECT_TRUE(readFile(folder + "/again.bin") == content);
    // The answer went nowhere but to the proxy.
    EXPECT_EQ(CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "UserPass", {}), "{asked at each use}");
    EXPECT_FALSE(readFile(qEnvironmentVariable("HARBEL_REGISTRY")).contains("s3cret"));
}

TEST_F(ProxyDownload, DownloadsThatStartWhileThePasswordIsAskedForWaitForThatOneAnswer)
{
    test::writeFile(nginx->root() + "/both.bin", randomBytes(200000));
    for (const auto& [name, value] : {std::pair{"UseProxy", QString("1")}, {"LoginProxy", QString("1")}, {"UsePass", QString("1")},
                                      {"ProxyServer", QString("127.0.0.1")}, {"ProxyPort", QString::number(proxy->port())},
                                      {"UserID", QString("pellanor")}, {"UserPass", QString("{asked at each use}")}})
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), name, value);
    // A run that has not been given the password yet.
    SecretStore::instance().remember(QStringLiteral("Pellanor proxy \"127.0.0.1\""), QString());
    SettingsStore::instance().LoadSettings();

    const struct {
        const char* name;
        std::optional<QString> answer;  // nullopt dismisses the question: the one waiting stops too
        Progress::State state;
        QString status;
    } cases[] = {{"dismissed", std::nullopt, Progress::State::Stopped, "Stopped: the proxy password was not given."},
                 {"given", QString("s3cret"), Progress::State::Completed, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype before = prompts.records().size();
        frmDownload* second = nullptr;
        prompts.answerText(c.answer, [&] {
            second = start(nginx->url("both.bin"), QString(c.name) + "-second.bin");
            EXPECT_EQ(second->job().progress().status, "Waiting for the proxy password...");
        });
        frmDownload* first = start(nginx->url("both.bin"), QString(c.name) + "-first.bin");
        ASSERT_NE(second, nullptr);
        for (frmDownload* job : {first, second}) {
            EXPECT_TRUE(waitUntil([&] { return job->job().progress().state == c.state; }, 30000)) << job->lblStatus.Caption().toStdString();
            EXPECT_TRUE(job->job().progress().status.startsWith(c.status)) << job->job().progress().status.toStdString();
        }
        EXPECT_EQ(prompts.records().size(), before + 1);
    }
}

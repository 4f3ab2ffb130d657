// Downloads over TLS: real nginx with a private authority made at test time, and small servers of
// the test's own for the faults nginx never makes (garbage, a handshake that stops, a cut).

#include "downloader/engine/ControlFile.h"
#include "downloader/engine/HttpConnector.h"
#include "downloader/window/frmDownload.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/main/frmExist.h"

#include "common/net/TlsTrust.h"
#include "common/platform/CRegister.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace harbel;
using harbel::test::NginxServer;
using harbel::test::TestAuthority;
using harbel::test::randomBytes;
using harbel::test::readFile;
using harbel::test::waitUntil;

namespace {

const QString kRefused = QStringLiteral("The server's certificate was refused: ");
const QString kSecureFailed = QStringLiteral("The secure connection to the server failed: ");

// The reply to a request for part of content: 206 with the range asked ("bytes=-" is taken as the
// whole file), and only the first `send` bytes of its body when send is not negative.
QByteArray rangeReply(const QByteArray& content, const QByteArray& head, qint64 send = -1)
{
    const qint64 size = content.size();
    qint64 first = 0, last = size - 1;
    const qsizetype at = head.indexOf("Range: bytes=");
    if (at >= 0) {
        const QByteArray spec = head.mid(at + 13, head.indexOf("\r\n", at) - at - 13);
        const qsizetype dash = spec.indexOf('-');
        if (dash > 0)
            first = spec.left(dash).toLongLong();
        if (dash >= 0 && dash + 1 < spec.size())
            last = std::min(size - 1, spec.mid(dash + 1).toLongLong());
    }
    const QByteArray body = content.mid(first, last - first + 1);
    return "HTTP/1.1 206 Partial Content\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nContent-Range: bytes "
           + QByteArray::number(first) + '-' + QByteArray::number(last) + '/' + QByteArray::number(size) + "\r\n\r\n"
           + (send < 0 ? body : body.left(send));
}

// A TLS server of the test's own: each request head goes to the handler with its socket.
class TlsFaultServer final : public QObject {
public:
    TlsFaultServer(const TestAuthority::Issued& issued)
    {
        QFile c(issued.certificate), k(issued.key);
        c.open(QIODevice::ReadOnly);
        k.open(QIODevice::ReadOnly);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(&c, QSsl::Pem));
        configuration.setPrivateKey(QSslKey(&k, QSsl::Ec));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        server_.setSslConfiguration(configuration);
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QSslServer::pendingConnectionAvailable, this, [this] {
            while (auto* socket = static_cast<QSslSocket*>(server_.nextPendingConnection())) {
                socket->setParent(this);
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QSslSocket::readyRead, this, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    qsizetype end;
                    while ((end = buffer->indexOf("\r\n\r\n")) >= 0) {
                        const QByteArray head = buffer->left(end + 4);
                        buffer->remove(0, end + 4);
                        heads << head;
                        handler(head, *socket);
                    }
                });
            }
        });
    }
    QString url(const QString& path) const { return QStringLiteral("https://127.0.0.1:%1/%2").arg(server_.serverPort()).arg(path); }

    std::function<void(const QByteArray&, QSslSocket&)> handler;
    QList<QByteArray> heads;

private:
    QSslServer server_;
};

// A plain TCP server on the port of an https:// address: each client gets what `answer` makes of
// the first bytes it sends (its TLS hello).
class RawServer final : public QObject {
public:
    explicit RawServer(std::function<void(QTcpSocket&)> answer) : answer_(std::move(answer))
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    socket->readAll();
                    ++hellos;
                    answer_(*socket);
                });
            }
        });
    }
    QString url(const QString& path) const { return QStringLiteral("https://127.0.0.1:%1/%2").arg(server_.serverPort()).arg(path); }
    int hellos = 0;

private:
    std::function<void(QTcpSocket&)> answer_;
    QTcpServer server_;
};

class HttpsDownload : public test::DownloadRunTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        authority = std::make_unique<TestAuthority>(test::testFolder() + "/ca");
        ASSERT_TRUE(authority->create()) << authority->why().toStdString();
        issued = authority->issue("server", {"127.0.0.1"});
        ASSERT_FALSE(issued.certificate.isEmpty()) << authority->why().toStdString();
        tls::clearAddedAuthorities();
        QString why;
        ASSERT_TRUE(tls::addTrustedAuthorities(authority->certificateFile(), &why)) << why.toStdString();
    }
    void TearDown() override
    {
        tls::clearAddedAuthorities();
        DownloadJobTest::TearDown();
    }

    void startNginx(const QString& rate = {})
    {
        nginx = std::make_unique<NginxServer>(test::testFolder() + "/nginx");
        nginx->setTls(issued.certificate, issued.key);
        if (!rate.isEmpty())
            nginx->setLimitRate(rate);
        ASSERT_TRUE(nginx->start()) << nginx->why().toStdString();
    }

    // A success would show its prompt, which these tests never expect unless they say so.
    void promptOnSuccess()
    {
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "PromptDone", "1");
    }

    frmDownload* start(const QString& url, const QString& name, bool resume = false)
    {
        if (resume)
            prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
        return DownloadRunTest::start(url, name);
    }
    // The job ended without completing, its status and its row saying why.
    void expectRefused(frmDownload* job, const QString& status)
    {
        ASSERT_FALSE(finish(job));
        EXPECT_EQ(job->lblStatus.Caption(), "Failed: " + status);
        ASSERT_TRUE(job->lstItem);
        EXPECT_EQ(job->lstItem->cell(DownloadRow::Status), "Failed: " + status);
        // Asking again gives the same answer: no retry is waiting.
        EXPECT_FALSE(job->tmrTimeOut.isEnabled());
        EXPECT_EQ(windows.lstComplete.count(), 0);
    }

    std::unique_ptr<TestAuthority> authority;
    TestAuthority::Issued issued;
    std::unique_ptr<NginxServer> nginx;
};

}  // namespace

TEST_F(HttpsDownload, FileArrivesByteForByteOverOneConnectionAndOverSixSegments)
{
    startNginx();
    const QByteArray one = randomBytes(3 * 1024 * 1024 + 17);
    test::writeFile(nginx->root() + "/one.bin", one);
    frmDownload* job = start(nginx->tlsUrl("one.bin"), "one.bin");
    EXPECT_TRUE(job->TLS);
    EXPECT_EQ(job->intPort, nginx->tlsPort());
    ASSERT_TRUE(finish(job)) << job->lblStatus.Caption().toStdString();
    EXPECT_EQ(job->segments(), 0);
    EXPECT_TRUE(readFile(folder + "/one.bin") == one);
    EXPECT_EQ(job->lblStatus.Caption(), "Complete");
    EXPECT_FALSE(QFileInfo::exists(ControlFile::pathFor(folder + "/one.bin")));

    // Six segments from the first byte on.
    DownloadSettings& s = SettingsStore::instance().record;
    s.Segment = 1;
    s.SegmentSize = {1, 0, 1e12, 0, 1e12, 0, 1e12, 0, 1};
    const QByteArray six = randomBytes(12 * 1024 * 1024 + 5);
    test::writeFile(nginx->root() + "/six.bin", six);
    prompts.answer(MsgAnswer::Yes);
    frmDownload* segmented = start(nginx->tlsUrl("six.bin"), "six.bin");
    ASSERT_TRUE(finish(segmented)) << segmented->lblStatus.Caption().toStdString();
    EXPECT_EQ(segmented->segments(), 6);
    EXPECT_TRUE(readFile(folder + "/six.bin") == six);
    EXPECT_EQ(windows.lstComplete.count(), 2);
    qsizetype ranged = 0;
    for (const QString& line : nginx->requestLog())
        ranged += line.startsWith("GET /six.bin ") && !line.contains("bytes=0- |") && !line.contains("bytes=- |");
    EXPECT_GE(ranged, 6);
}

TEST_F(HttpsDownload, StoppedDownloadResumesFromItsControlFile)
{
    startNginx("1m");
    const QByteArray content = randomBytes(3 * 1024 * 1024);
    test::writeFile(nginx->root() + "/r.bin", content);
    frmDownload* job = start(nginx->tlsUrl("r.bin"), "r.bin");
    ASSERT_TRUE(waitUntil([&] { return job->GetReceivedBytes() >= 512 * 1024; }, 20000));
    job->StopMe();
    const qint64 kept = job->GetReceivedBytes();
    const auto control = ControlFile::read(folder + "/r.bin");
    ASSERT_TRUE(control.has_value());
    EXPECT_EQ(control->size, content.size());
    ASSERT_EQ(control->complete.size(), 1);
    EXPECT_EQ(control->complete[0].begin, 0);
    EXPECT_EQ(control->complete[0].end, kept);
    EXPECT_TRUE(readFile(folder + "/r.bin") == content.left(kept));

    frmDownload* resumed = start(nginx->tlsUrl("r.bin"), "r.bin", true);
    ASSERT_TRUE(finish(resumed)) << resumed->lblStatus.Caption().toStdString();
    EXPECT_TRUE(readFile(folder + "/r.bin") == content);
    // The control file named what was there: only the rest was asked for.
    const QString rest = " | bytes=" + QString::number(kept) + "-" + QString::number(content.size() - 1) + " | ";
    EXPECT_EQ(nginx->requestLog().filter(rest).size(), 1) << nginx->requestLog().join('\n').toStdString();
}

TEST_F(HttpsDownload, RedirectionsLeadFromHttpToHttpsAndBack)
{
    startNginx();
    const QByteArray content = randomBytes(300000);
    test::writeFile(nginx->root() + "/r.bin", content);
    frmDownload* up = start(nginx->url("to-https/r.bin"), "up.bin");
    ASSERT_TRUE(finish(up)) << up->lblStatus.Caption().toStdString();
    EXPECT_TRUE(up->TLS);
    EXPECT_EQ(up->txtURL.Text().trimmed(), nginx->tlsUrl("r.bin"));
    EXPECT_TRUE(readFile(folder + "/up.bin") == content);

    frmDownload* down = start(nginx->tlsUrl("to-http/r.bin"), "down.bin");
    ASSERT_TRUE(finish(down)) << down->lblStatus.Caption().toStdString();
    EXPECT_FALSE(down->TLS);
    EXPECT_EQ(down->intPort, nginx->port());
    EXPECT_TRUE(readFile(folder + "/down.bin") == content);
    EXPECT_EQ(up->redirects(), 1);
    EXPECT_EQ(down->redirects(), 1);
}

TEST_F(HttpsDownload, UntrustedCertificateOrAnotherHostsIsRefusedWithItsReason)
{
    startNginx();
    promptOnSuccess();
    test::writeFile(nginx->root() + "/f.bin", randomBytes(1000));

    // The certificate is for 127.0.0.1, not for the name in the address.
    frmDownload* wrongHost = start(nginx->tlsUrl("f.bin", "localhost"), "host.bin");
    expectRefused(wrongHost, kRefused + "the certificate is for another host (127.0.0.1)");

    // Nobody trusts the private authority any more.
    tls::clearAddedAuthorities();
    frmDownload* untrusted = start(nginx->tlsUrl("f.bin"), "trust.bin");
    expectRefused(untrusted, kRefused + "the certificate is not trusted");
    EXPECT_FALSE(QFileInfo::exists(folder + "/trust.bin"));
    EXPECT_TRUE(prompts.records().isEmpty());
}

TEST_F(HttpsDownload, ServerThatIsNoTlsServerOrStopsInTheHandshakeEndsTheJob)
{
    promptOnSuccess();
    // Plain text where the TLS answer should be.
    RawServer garbage([](QTcpSocket& s) { s.write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"); });
    frmDownload* job = start(garbage.url("g.bin"), "g.bin");
    ASSERT_FALSE(finish(job));
    EXPECT_TRUE(job->lblStatus.Caption().startsWith("Failed: " + kSecureFailed)) << job->lblStatus.Caption().toStdString();
    EXPECT_FALSE(job->tmrTimeOut.isEnabled());

    // The hello is read and the connection ended without an answer.
    RawServer closing([](QTcpSocket& s) { s.abort(); });
    frmDownload* ended = start(closing.url("c.bin"), "c.bin");
    ASSERT_FALSE(finish(ended));
    EXPECT_TRUE(ended->lblStatus.Caption().startsWith("Failed: " + kSecureFailed)) << ended->lblStatus.Caption().toStdString();

    // The hello is read and never answered: the countdown ends the wait.
    DownloadSettings& s = SettingsStore::instance().record;
    s.Timeout = 1;
    s.Retry = false;
    RawServer silent([](QTcpSocket&) {});
    frmDownload* waiting = start(silent.url("s.bin"), "s.bin");
    ASSERT_TRUE(waitUntil([&] { return silent.hellos == 1; }));
    EXPECT_TRUE(waiting->tmrTimeOut.isEnabled());
    waiting->tmrTimeOut_Timer();
    EXPECT_TRUE(stuck);
    EXPECT_EQ(waiting->lblStatus.Caption(), "Failed: Connection has timed out.");
    EXPECT_FALSE(waiting->isCompleted());
    EXPECT_TRUE(prompts.records().isEmpty());
}

TEST_F(HttpsDownload, GarbageOrACutInTheMiddleOfTheFileKeepsThePartForAResume)
{
    promptOnSuccess();
    const QByteArray content = randomBytes(100000);
    TlsFaultServer server(issued);
    enum class Fault { Garbage, Cut, None } fault = Fault::Garbage;
    server.handler = [&](const QByteArray& head, QSslSocket& socket) {
        if (!head.contains("Vantor Segment") || fault == Fault::None) {
            socket.write(rangeReply(content, head));
            return;
        }
        socket.write(rangeReply(content, head, 40000));
        socket.flush();
        QPointer<QSslSocket> s(&socket);
        QTimer::singleShot(100, &server, [s, fault] {
            if (!s)
                return;
            if (fault == Fault::Garbage) {
                // Bytes that are no TLS record, straight onto the connection.
                EXPECT_EQ(s->bytesToWrite(), 0);
                EXPECT_EQ(::write(int(s->socketDescriptor()), "garbage, not a TLS record", 25), 25);
            } else {
                // The end of the connection without the TLS close notification.
                s->abort();
            }
        });
    };

    for (const Fault f : {Fault::Garbage, Fault::Cut}) {
        SCOPED_TRACE(f == Fault::Garbage ? "garbage" : "cut");
        fault = f;
        const QString name = f == Fault::Garbage ? "garbage.bin" : "cut.bin";
        frmDownload* job = start(server.url(name), name);
        ASSERT_FALSE(finish(job));
        if (f == Fault::Garbage)
            EXPECT_TRUE(job->lblStatus.Caption().startsWith("Failed: " + kSecureFailed)) << job->lblStatus.Caption().toStdString();
        else
            EXPECT_EQ(job->lblStatus.Caption(), "Failed: " + HttpConnector::truncatedStatus());
        EXPECT_EQ(job->lstItem->cell(DownloadRow::Status), job->lblStatus.Caption());
        // What came was checked record by record: it stays, and the control file names it.
        EXPECT_TRUE(readFile(folder + "/" + name) == content.left(40000));
        const auto control = ControlFile::read(folder + "/" + name);
        ASSERT_TRUE(control.has_value());
        EXPECT_EQ(control->size, content.size());
        ASSERT_EQ(control->complete.size(), 1);
        EXPECT_EQ(control->complete[0].end, 40000);
    }
    EXPECT_TRUE(prompts.records().isEmpty());

    // A resume asks for the rest only, and completes.
    fault = Fault::None;
    CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "PromptDone", "0");
    frmDownload* resumed = start(server.url("cut.bin"), "cut.bin", true);
    ASSERT_TRUE(finish(resumed)) << resumed->lblStatus.Caption().toStdString();
    EXPECT_TRUE(server.heads.last().contains("Range: bytes=40000-99999\r\n"));
    EXPECT_TRUE(readFile(folder + "/cut.bin") == content);
}

#include "downloader/main/BrowserCapture.h"
#include "downloader/main/frmMain.h"

#include "common/platform/AppFolder.h"
#include "common/platform/SingleInstance.h"
#include "common/support/LangString.h"
#include "tests/support/DownloadJobTest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>

#include <csignal>
#include <cstring>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::readFile;
using harbel::test::waitUntil;

namespace {

QByteArray frame(const QByteArray& body)
{
    const quint32 length = quint32(body.size());
    QByteArray head(4, '\0');
    std::memcpy(head.data(), &length, 4);
    return head + body;
}

// The host as a browser runs it: a child process on pipes, frames both ways.
class Host {
public:
    Host()
    {
        process.setProgram(QStringLiteral(PELLANOR_EXE));
        // What Firefox adds after the program: the manifest path and the extension's id.
        process.setArguments({"--native-messaging", "/x/com.harbel.pellanor.json", "pellanor@harbel"});
        process.start();
        EXPECT_TRUE(process.waitForStarted());
    }
    ~Host()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    void send(const QByteArray& bytes) { process.write(bytes); }
    // The next answer, or an empty object when none came in time.
    QJsonObject answer(int timeoutMs = 25000)
    {
        if (!waitUntil([this] { return pending_() >= 4; }, timeoutMs))
            return {};
        quint32 length = 0;
        std::memcpy(&length, buffer_.constData(), 4);
        if (!waitUntil([this, length] { return pending_() >= 4 + qsizetype(length); }, timeoutMs))
            return {};
        const QByteArray body = buffer_.mid(4, length);
        buffer_.remove(0, 4 + length);
        return QJsonDocument::fromJson(body).object();
    }
    QJsonObject ask(const QByteArray& json)
    {
        send(frame(json));
        return answer();
    }
    int exitCode()
    {
        EXPECT_TRUE(waitUntil([this] { return process.state() == QProcess::NotRunning; }, 10000));
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QProcess process;

private:
    qsizetype pending_()
    {
        buffer_ += process.readAllStandardOutput();
        return buffer_.size();
    }
    QByteArray buffer_;
};

bool refused(const QJsonObject& a)
{
    return a.contains("ok") && !a.value("ok").toBool() && !a.value("error").toString().isEmpty();
}

bool taken(const QJsonObject& a, bool yes = true)
{
    return a.value("ok").toBool() && a.value("taken").toBool() == yes;
}

// A scratch home for the browsers' folders; the real one is put back afterwards.
class ScratchHome {
public:
    ScratchHome() : old_(qgetenv("HOME")), home_(test::testFolder() + "/userhome")
    {
        QDir().mkpath(home_);
        qputenv("HOME", home_.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_ + "/.config").toUtf8());
    }
    ~ScratchHome() { qputenv("HOME", old_); }
    const QString& path() const { return home_; }

private:
    QByteArray old_;
    QString home_;
};

using BrowserHandOver = test::DownloadJobTest;

}  // namespace

TEST_F(BrowserHandOver, CaptureSwitchesInstallAndRemoveTheManifestsUnderTheHome)
{
    ScratchHome home;
    QDir().mkpath(home.path() + "/.config/chromium");
    frmMain form;

    // No Mozilla-family browser set up: the warning, but the host script is in place already.
    form.IECapClicks(true);
    prompts.answer(MsgAnswer::Ok);
    form.netscapeClicks(true);
    EXPECT_EQ(prompts.last().text,
              GetLangString("13020", "Firefox is not set up for this user (there is no ~/.mozilla folder), so it cannot hand links over yet. Start Firefox once, then switch this on again."));
    EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
    const QString script = BrowserCapture::hostScriptPath();
    ASSERT_TRUE(QFileInfo(script).isExecutable());
    const QByteArray scriptText = readFile(script);
    EXPECT_TRUE(scriptText.contains("--native-messaging \"$@\"")) << scriptText.constData();
    EXPECT_TRUE(scriptText.contains("HARBEL_HOME='" + AppFolder::path().toUtf8() + "'")) << scriptText.constData();

    const QString chromium = home.path() + "/.config/chromium/NativeMessagingHosts/com.harbel.pellanor.json";
    const QJsonObject manifest = QJsonDocument::fromJson(readFile(chromium)).object();
    EXPECT_EQ(manifest.value("name").toString(), "com.harbel.pellanor");
    EXPECT_EQ(manifest.value("path").toString(), script);
    EXPECT_EQ(manifest.value("type").toString(), "stdio");
    EXPECT_EQ(manifest.value("allowed_origins").toArray().first().toString(),
              "chrome-extension://jeilannjlgmogloalljkccempkjckblk/");
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/.config/google-chrome")) << "only browsers that are set up";

    QDir().mkpath(home.path() + "/.mozilla");
    form.netscapeClicks(true);
    const QString mozilla = home.path() + "/.mozilla/native-messaging-hosts/com.harbel.pellanor.json";
    EXPECT_EQ(QJsonDocument::fromJson(readFile(mozilla)).object().value("allowed_extensions").toArray().first().toString(),
              "pellanor@harbel");

    // The capture box of the settings dialog drives both switches.
    form.SettingsForm.Form_Load();
    form.SettingsForm.chkIE.setValue(0);
    form.SettingsForm.chkIE_Click();
    EXPECT_FALSE(QFileInfo::exists(chromium));
    EXPECT_FALSE(QFileInfo::exists(mozilla));
    form.SettingsForm.chkIE.setValue(1);
    form.SettingsForm.chkIE_Click();
    EXPECT_TRUE(QFileInfo::exists(chromium));
    EXPECT_TRUE(QFileInfo::exists(mozilla));
}

TEST_F(BrowserHandOver, HostAnswersEveryFrameAndHandsOnlySoundAddressesToTheWindow)
{
    // This test plays the running window.
    SingleInstance window(QStringLiteral("Pellanor"), QStringLiteral("TessalyRecieveMessage"));
    ASSERT_TRUE(window.acquire());
    ASSERT_TRUE(window.listen());
    QStringList received;
    QObject::connect(&window, &SingleInstance::received, [&received](const QString& t) { received << t; });

    Host host;
    EXPECT_TRUE(taken(host.ask(R"({"url": "http://127.0.0.1:8/files/a.zip", "capture": false})")));
    ASSERT_TRUE(waitUntil([&] { return received.size() == 1; }));
    EXPECT_EQ(received.first(), "http://127.0.0.1:8/files/a.zip");

    // A browser download the filters do not want stays the browser's; a wanted one is taken.
    EXPECT_TRUE(taken(host.ask(R"({"url": "http://127.0.0.1:8/page.html", "capture": true})"), false));
    EXPECT_TRUE(taken(host.ask(R"({"url": "http://127.0.0.1:8/b.ZIP", "capture": true})")));
    CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "ClickCapture", "0");
    EXPECT_TRUE(taken(host.ask(R"({"url": "http://127.0.0.1:8/c.zip", "capture": true})"), false));
    // A link the user chose is handed over with capture off as well.
    EXPECT_TRUE(taken(host.ask(R"({"url": "ftp://127.0.0.1/d.bin"})")));

    EXPECT_TRUE(refused(host.ask("{not json")));
    EXPECT_TRUE(refused(host.ask(R"(["http://127.0.0.1/x.zip"])")));
    EXPECT_TRUE(refused(host.ask(R"({"link": "http://127.0.0.1/x.zip"})")));
    EXPECT_TRUE(refused(host.ask(R"({"url": 42})")));
    EXPECT_TRUE(refused(host.ask(R"({"url": "MENUhttp://127.0.0.1/x.zip"})")));
    EXPECT_TRUE(refused(host.ask(R"({"url": "http://127.0.0.1/x.zip\nhttp://evil/y.zip"})")));
    EXPECT_TRUE(refused(host.ask(R"({"url": "http://127.0.0.1/x\u0007.zip"})")));
    EXPECT_TRUE(refused(host.ask(R"j({"url": "javascript:alert(1)"})j")));
    EXPECT_TRUE(refused(host.ask(R"({"url": "file:///etc/passwd"})")));
    EXPECT_TRUE(refused(host.ask(QByteArray())));

    // A frame cut off in its body: an error answer, and the host ends.
    host.send(frame(R"({"url": "http://127.0.0.1/cut.zip"})").left(12));
    host.process.closeWriteChannel();
    EXPECT_TRUE(refused(host.answer()));
    EXPECT_EQ(host.exitCode(), 1);

    QCoreApplication::processEvents();
    EXPECT_EQ(received.size(), 3) << received.join(" | ").toStdString();
    EXPECT_FALSE(received.join(' ').contains("evil"));

    // A length past the bound is never read: the host answers and ends.
    Host greedy;
    QByteArray huge(4, '\xff');
    greedy.send(huge + "{}");
    EXPECT_TRUE(refused(greedy.answer()));
    EXPECT_EQ(greedy.exitCode(), 1);

    // The browser closing the stream between frames ends the host cleanly.
    Host quiet;
    quiet.process.closeWriteChannel();
    EXPECT_EQ(quiet.exitCode(), 0);
    QByteArray none = quiet.process.readAllStandardOutput();
    EXPECT_TRUE(none.isEmpty());
}

TEST_F(BrowserHandOver, HostRefusesWhatTheWindowWouldRefuseAndSaysWhy)
{
    SingleInstance window(QStringLiteral("Pellanor"), QStringLiteral("TessalyRecieveMessage"));
    ASSERT_TRUE(window.acquire());
    ASSERT_TRUE(window.listen());
    QStringList received;
    QObject::connect(&window, &SingleInstance::received, [&received](const QString& t) { received << t; });

    const QString control = "the address holds control characters";
    const QString noServer = "the address names no server";
    Host host;
    for (const auto& [body, reason] : QList<std::pair<QByteArray, QString>>{
             {R"({"url": "http://127.0.0.1/ab.zip"})", control},
             {R"({"url": "http://127.0.0.1/ab.zip"})", control},
             {R"({"url": "http://127.0.0.1/a b.zip"})", control},
             {R"({"url": "http://127.0.0.1/a b.zip"})", control},
             {R"({"url": "http://127.0.0.1/a‮b.zip"})", control},
             {R"({"url": "http://"})", noServer},
             {R"({"url": "HTTPS://"})", noServer},
             {R"({"url": "ftp://"})", noServer},
             {R"({"url": "http:///path.zip"})", noServer},
             {R"({"url": "gopher://127.0.0.1/x"})", "only http, https, ftp, ftps and sftp addresses are downloaded"},
         }) {
        const QJsonObject a = host.ask(body);
        EXPECT_TRUE(refused(a)) << body.toStdString();
        EXPECT_EQ(a.value("taken"), QJsonValue(false)) << body.toStdString();
        EXPECT_EQ(a.value("error").toString(), reason) << body.toStdString();
    }
    // A sound address still goes through after them.
    EXPECT_TRUE(taken(host.ask(R"({"url": "http://127.0.0.1:8/after.zip"})")));
    ASSERT_TRUE(waitUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, QStringList{"http://127.0.0.1:8/after.zip"});
}

TEST_F(BrowserHandOver, HostStartsTheWindowWhenNoneRuns)
{
    Host host;
    EXPECT_TRUE(taken(host.ask(R"({"url": "http://127.0.0.1:9/started.zip"})")));
    host.process.closeWriteChannel();
    EXPECT_EQ(host.exitCode(), 0);

    // The window the host started holds the lock; it is ended here by its process id.
    QLockFile lock(AppFolder::file("pellanor.lock"));
    qint64 pid = 0;
    ASSERT_TRUE(lock.getLockInfo(&pid, nullptr, nullptr));
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGTERM);
    EXPECT_TRUE(waitUntil([&lock] { return lock.tryLock(0); }, 10000)) << "the window let its lock go";
}

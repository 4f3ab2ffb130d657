#pragma once

// What the command line's tests share: pellanor run as a child process without a display, and the
// fixture of its download mode with a scripted server and a folder of the test's own.

#include "tests/support/NginxServer.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace harbel::test {

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Starts pellanor without a display, with the variables of extra set.
inline void startHeadless(QProcess& p, const QStringList& args, const QString& workingFolder, const QMap<QString, QString>& extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto v = extra.begin(); v != extra.end(); ++v)
        env.insert(v.key(), v.value());
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workingFolder);
    p.start(PELLANOR_EXE, args);
}

// Runs pellanor without a display while this process keeps serving the loopback server.
inline ProgramRun pellanor(const QStringList& args, const QString& workingFolder, const QMap<QString, QString>& extra = {})
{
    QProcess p;
    startHeadless(p, args, workingFolder, extra);
    EXPECT_TRUE(p.waitForStarted(10000));
    EXPECT_TRUE(waitUntil([&] { return p.state() == QProcess::NotRunning; }, 30000));
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

class DownloadMode : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = testFolder() + "/work";
        QDir().mkpath(folder);
        server.content = QByteArray("0123456789abcdef").repeated(500);
    }
    // The server answers the single connection with the first 3000 bytes, and then nothing more.
    void answerThenStall()
    {
        server.handler = [this](const ScriptedHttpServer::Request& r, QTcpSocket& s) {
            if (r.range() != "bytes=0-7999")
                return false;
            s.write("HTTP/1.1 206 Partial Content\r\nContent-Length: 8000\r\nContent-Range: bytes 0-7999/8000\r\n\r\n"
                    + server.content.left(3000));
            return true;
        };
    }
    ScriptedHttpServer server;
    QString folder;
};

constexpr qint64 MiB = 1024 * 1024;

}  // namespace harbel::test

// The names the command-line tests use, for each of their files.
using namespace harbel;
using harbel::test::DownloadMode;
using harbel::test::MiB;
using harbel::test::NginxServer;
using harbel::test::ProgramRun;
using harbel::test::PyFtpServer;
using harbel::test::TestAuthority;
using harbel::test::ScriptedHttpServer;
using harbel::test::pellanor;
using harbel::test::readFile;
using harbel::test::startHeadless;
using harbel::test::waitUntil;
using harbel::test::writeFile;

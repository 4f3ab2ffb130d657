#include "downloader/main/History.h"
#include "downloader/main/frmMain.h"
#include "downloader/ui/MainWindowView.h"
#include "ftpclient/ui/TessalyMainView.h"
#include "common/platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

using namespace harbel;

namespace {
QProcess* run(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    auto* p = new QProcess;
    p->setProcessEnvironment(env);
    p->start(program, args);
    return p;
}
}  // namespace

TEST(Programs, PellanorHelpNeedsNoDisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    std::unique_ptr<QProcess> p(run(PELLANOR_EXE, {"--help"}, env));
    ASSERT_TRUE(p->waitForFinished(20000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(p->readAllStandardOutput().contains("Usage: pellanor"));

    std::unique_ptr<QProcess> bad(run(PELLANOR_EXE, {"--no-such-option"}, env));
    ASSERT_TRUE(bad->waitForFinished(20000));
    EXPECT_EQ(bad->exitCode(), 2);
    EXPECT_TRUE(bad->readAllStandardError().contains("unknown option"));
}

TEST(Programs, BothProgramsOpenTheirWindowAndExitCleanly)
{
    for (const char* exe : {PELLANOR_EXE, TESSALY_EXE}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        std::unique_ptr<QProcess> p(run(exe, {}, env));
        ASSERT_TRUE(p->waitForStarted(20000));
        EXPECT_FALSE(p->waitForFinished(1500)) << exe << " ended by itself: " << p->readAllStandardError().toStdString();
        // A second start brings the running window forward and ends, as asked, with success.
        std::unique_ptr<QProcess> second(run(exe, {}, env));
        ASSERT_TRUE(second->waitForFinished(20000)) << exe;
        EXPECT_EQ(second->exitCode(), 0) << exe << ": " << second->readAllStandardError().toStdString();
        p->terminate();
        ASSERT_TRUE(p->waitForFinished(20000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit) << exe;
    }
}

TEST(Programs, MainWindowsCarryTheProgramTitle)
{
    frmMain form;
    PellanorMainWindowView pellanor(form);
    TessalyMainWindowView tessaly;
    pellanor.show();
    tessaly.show();
    EXPECT_EQ(pellanor.windowTitle(), "Harbel");
    EXPECT_EQ(tessaly.windowTitle(), "Harbel");
    pellanor.close();
    tessaly.close();
}

TEST(Programs, PellanorAddHandsTheAddressToTheRunningWindow)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");

    std::unique_ptr<QProcess> missing(run(PELLANOR_EXE, {"--add"}, env));
    ASSERT_TRUE(missing->waitForFinished(20000));
    EXPECT_EQ(missing->exitCode(), 2);

    std::unique_ptr<QProcess> window(run(PELLANOR_EXE, {}, env));
    ASSERT_TRUE(window->waitForStarted(20000));
    // The window takes hand-overs once it listens; a "MENU" text is dropped by it.
    SingleInstance probe("Pellanor", "TessalyRecieveMessage");
    ASSERT_TRUE(test::waitUntil([&] { return probe.send("MENU", 200); }, 20000));

    // An address of a host on the default ignore list is queued without any question, so the
    // queue row shows up in the history the window keeps up to date.
    std::unique_ptr<QProcess> add(run(PELLANOR_EXE, {"--add", "http://update.microsoft.com/patch.zip"}, env));
    ASSERT_TRUE(add->waitForFinished(20000));
    EXPECT_EQ(add->exitCode(), 0) << add->readAllStandardError().toStdString();
    EXPECT_TRUE(test::waitUntil([] { return test::readFile(History::path()).contains("http://update.microsoft.com/patch.zip"); }, 20000));
    EXPECT_TRUE(test::readFile(History::path()).contains("You block this server"));

    window->terminate();
    ASSERT_TRUE(window->waitForFinished(20000));
    EXPECT_EQ(window->exitStatus(), QProcess::NormalExit);
}

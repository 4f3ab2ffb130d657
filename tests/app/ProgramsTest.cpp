#include "downloader/main/History.h"
#include "downloader/settings/DownloadSettings.h"
#include "downloader/main/frmMain.h"
#include "downloader/ui/MainWindowView.h"
#include "ftpclient/ui/TessalyMainView.h"
#include "ftpclient/window/TessalyMain.h"
#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/platform/SingleInstance.h"
#include "common/ui/ToolbarView.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
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

TEST(Programs, MainWindowsCarryTheirNamesAndShowEveryToolbarCommand)
{
    frmMain form;
    PellanorMainWindowView pellanor(form);
    tessaly::frmMain ftp;
    TessalyMainWindowView tessaly(ftp);
    // The toolbars as the programs load them, once their windows are made.
    for (const auto& [toolbar, program] : {std::pair{&form.Flash, "DM"}, std::pair{&ftp.movToolbar, "FTP"}}) {
        ASSERT_TRUE(toolbar->LoadMovie(AppFolder::file("Harbel.toolbar")));
        toolbar->SetVariable("_root.Program", program);
    }
    pellanor.show();
    tessaly.show();
    EXPECT_EQ(pellanor.windowTitle(), "Pellanor");
    EXPECT_EQ(tessaly.windowTitle(), "Tessaly");
    EXPECT_EQ(pellanor.width(), 900);
    QApplication::processEvents();
    // At the default width no button hides behind the overflow arrow, and the window is never made
    // narrower than its toolbar; the toggles and the tray are menu items as well.
    const struct {
        QMainWindow* window;
        QStringList mirrored;
    } windows[] = {{&pellanor, {"IDC_FS_ShowB", "IDC_FS_ShowC", "IDC_FS_tray"}},
                   {&tessaly, {"IDC_FS_ShowA", "IDC_FS_ShowB", "IDC_FS_ShowC", "IDC_FS_tray", "IDC_FS_openAbout"}}};
    for (const auto& w : windows) {
        auto* bar = w.window->findChild<ToolbarView*>();
        ASSERT_NE(bar, nullptr);
        EXPECT_LE(w.window->minimumWidth(), w.window->width());
        int buttons = 0;
        for (QAction* a : bar->actions()) {
            if (!a->objectName().startsWith("IDC_FS_"))
                continue;
            ++buttons;
            const QWidget* button = bar->widgetForAction(a);
            EXPECT_TRUE(button && button->isVisible() && button->geometry().right() <= bar->width())
                << a->text().toStdString();
        }
        EXPECT_GE(buttons, 13);
        for (const QString& command : w.mirrored) {
            QAction* a = bar->commandAction(command);
            ASSERT_NE(a, nullptr) << command.toStdString();
            const QObjectList in = a->associatedObjects();
            EXPECT_TRUE(std::any_of(in.begin(), in.end(), [](QObject* o) { return qobject_cast<QMenu*>(o); }))
                << command.toStdString();
        }
    }
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

    CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "MonitorServer", "update.microsoft.com");
    std::unique_ptr<QProcess> window(run(PELLANOR_EXE, {}, env));
    ASSERT_TRUE(window->waitForStarted(20000));
    // The window takes hand-overs once it listens; a "MENU" text is dropped by it.
    SingleInstance probe("Pellanor", "TessalyRecieveMessage");
    ASSERT_TRUE(test::waitUntil([&] { return probe.send("MENU", 200); }, 20000));

    // An address of a host on the ignore list is queued without any question, so the
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

TEST(Programs, AddressesHandedOverAtOnceEndInOneWindowWithoutAQuestion)
{
    // The addresses are queued without a question: their servers are on the ignore list.
    CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "MonitorServer", "*.blocked.example");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    constexpr int kCopies = 8;
    for (const bool windowFirst : {true, false}) {
        SCOPED_TRACE(windowFirst ? "a window runs" : "no window runs yet");
        QFile::remove(History::path());
        std::vector<std::unique_ptr<QProcess>> copies;
        if (windowFirst) {
            copies.emplace_back(run(PELLANOR_EXE, {}, env));
            SingleInstance probe("Pellanor", "TessalyRecieveMessage");
            ASSERT_TRUE(test::waitUntil([&] { return probe.send("MENU", 200); }, 20000));
        }
        QStringList addresses;
        for (int i = 0; i < kCopies; ++i) {
            addresses << QStringLiteral("http://h%1.blocked.example/f%2.iso").arg(i).arg(windowFirst);
            copies.emplace_back(run(PELLANOR_EXE, {"--add", addresses.last()}, env));
        }
        // Every copy but the window ends by itself, with success and without a word.
        const auto ended = [&] {
            return std::count_if(copies.begin(), copies.end(), [](const auto& p) {
                return p->state() == QProcess::NotRunning || p->waitForFinished(10);
            });
        };
        ASSERT_TRUE(test::waitUntil([&] { return ended() == qsizetype(copies.size()) - 1; }, 60000)) << ended();
        QProcess* window = nullptr;
        for (const auto& p : copies) {
            if (p->state() != QProcess::NotRunning) {
                EXPECT_EQ(window, nullptr) << "a second window";
                window = p.get();
            } else {
                const QByteArray said = p->readAllStandardError();
                EXPECT_EQ(p->exitCode(), 0) << said.toStdString();
                EXPECT_FALSE(said.contains("pellanor:")) << said.toStdString();
            }
        }
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(test::waitUntil([&] {
            const QByteArray history = test::readFile(History::path());
            return std::all_of(addresses.begin(), addresses.end(), [&](const QString& a) { return history.contains(a.toUtf8()); });
        }, 20000)) << test::readFile(History::path()).toStdString();
        window->terminate();
        ASSERT_TRUE(window->waitForFinished(20000));
        EXPECT_EQ(window->exitStatus(), QProcess::NormalExit);
    }
}

#pragma once

// The fixture of Pellanor's main window tests: the window with scripted prompts, a clipboard in
// memory, a scripted server and a download folder of the test's own.

#include "downloader/main/frmMain.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/Clipboard.h"
#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>

#include <gtest/gtest.h>

namespace harbel::test {

class PellanorMainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "PromptDone", "0");
        prompts.setUnexpectedHandler([](const QString& why) { ADD_FAILURE() << "unexpected prompt: " << why.toStdString(); });
        Prompts::setInstance(&prompts);
        Clipboard::setInstance(&clipboard);
        folder = testFolder() + "/dl";
        QDir().mkpath(folder);
        server.content = QByteArray("harbel-").repeated(300);
    }
    void TearDown() override
    {
        Clipboard::setInstance(nullptr);
        Prompts::setInstance(nullptr);
    }

    // Start-up, then the options a test needs.
    void load()
    {
        form.Form_Load();
        SettingsStore& s = SettingsStore::instance();
        s.LastSavePath = folder + "/last.bin";
        s.record.MonitorTypes = ".BIN; .ZIP;";
    }

    ScriptedPrompts prompts;
    MemoryClipboard clipboard;
    ScriptedHttpServer server;
    QString folder;
    frmMain form;
};

}  // namespace harbel::test

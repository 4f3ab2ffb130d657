#pragma once

#include "common/platform/CRegister.h"
#include "common/platform/Prompts.h"
#include "common/platform/ScriptedPrompts.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>

#include <gtest/gtest.h>

namespace harbel::test {

// The common ground of tests that run download jobs: settings loaded without the completion
// prompt, scripted prompts that fail the test on any question it did not expect, and an empty
// folder to save into.
class DownloadJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "PromptDone", "0");
        SettingsStore::instance().LoadSettings();
        prompts.setUnexpectedHandler([](const QString& why) { ADD_FAILURE() << "unexpected prompt: " << why.toStdString(); });
        Prompts::setInstance(&prompts);
        folder = testFolder() + "/downloads";
        QDir().mkpath(folder);
    }
    void TearDown() override { Prompts::setInstance(nullptr); }

    ScriptedPrompts prompts;
    QString folder;
};

}  // namespace harbel::test

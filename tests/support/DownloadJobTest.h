#pragma once

#include "common/platform/CRegister.h"
#include "common/prompts/Prompts.h"
#include "common/prompts/ScriptedPrompts.h"
#include "downloader/window/frmDownload.h"
#include "downloader/main/DownloadWindows.h"
#include "downloader/settings/DownloadSettings.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>

#include <gtest/gtest.h>

namespace harbel::test {

// The common ground of tests that run download jobs: settings loaded without the completion
// prompt and with the segment question, scripted prompts that fail the test on any question it did not expect, and an empty
// folder to save into.
class DownloadJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "PromptDone", "0");
        // Downloads the tests start are a person's: segmenting asks, and the tests answer.
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "AskSegmented", "1");
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

// Download jobs started through the download manager's windows and waited for.
class DownloadRunTest : public DownloadJobTest {
protected:
    // Starts url into the save folder as name; stuck says when the job waits for the user.
    frmDownload* start(const QString& url, const QString& name)
    {
        stuck = false;
        frmDownload* job = windows.DownloadNow(url, folder + "/" + name, -1);
        EXPECT_NE(job, nullptr);
        if (job)
            QObject::connect(job, &frmDownload::needsUser, [this] { stuck = true; });
        return job;
    }
    // Waits until the job has completed or needs the user; true when it completed.
    bool finish(frmDownload* job, int timeoutMs = 30000)
    {
        waitUntil([&] { return job->isCompleted() || stuck; }, timeoutMs);
        return job->isCompleted();
    }

    DownloadWindows windows;
    bool stuck = false;
};

}  // namespace harbel::test

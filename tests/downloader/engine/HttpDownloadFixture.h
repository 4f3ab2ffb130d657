#pragma once

// The fixture of the HTTP download tests: a job's window started against a scripted server.

#include "downloader/main/DownloadWindows.h"
#include "downloader/window/frmDownload.h"
#include "tests/support/DownloadJobTest.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QObject>

#include <gtest/gtest.h>

namespace harbel::test {

class HttpDownload : public DownloadJobTest {
protected:
    void SetUp() override
    {
        DownloadJobTest::SetUp();
        server.content = randomBytes(1000);
    }

    frmDownload* start(const QString& url, const QString& name = "file.bin")
    {
        frmDownload* job = windows.DownloadNow(url, folder + "/" + name, -1);
        EXPECT_NE(job, nullptr);
        return job;
    }
    // Waits until the job has completed or needs the user.
    bool finish(frmDownload* job, int timeoutMs = 8000)
    {
        bool stuck = false;
        QMetaObject::Connection c = QObject::connect(job, &frmDownload::needsUser, [&] { stuck = true; });
        const bool ended = waitUntil([&] { return job->isCompleted() || stuck; }, timeoutMs);
        QObject::disconnect(c);
        return ended && job->isCompleted();
    }
    QByteArray transferRequest(int index) const { return server.requests().value(index).text; }

    ScriptedHttpServer server;
    DownloadWindows windows;
};

}  // namespace harbel::test

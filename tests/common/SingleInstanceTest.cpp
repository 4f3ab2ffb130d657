#include "common/platform/AppFolder.h"
#include "common/platform/SingleInstance.h"
#include "tests/support/TestEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace harbel;

TEST(SingleInstance, SecondCopyIsRefusedAndHandsTextToTheFirst)
{
    SingleInstance first("Pellanor", "TessalyRecieveMessage");
    ASSERT_TRUE(first.acquire());
    ASSERT_TRUE(first.listen());
    QStringList got;
    QObject::connect(&first, &SingleInstance::received, [&](const QString& t) { got.append(t); });

    SingleInstance second("Pellanor", "TessalyRecieveMessage");
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.listen());
    ASSERT_TRUE(second.send(QStringLiteral("http://example.com/a file.zip")));
    ASSERT_TRUE(second.send(QStringLiteral("ftp://host/x\ny")));  // a line break cannot split a hand-over
    EXPECT_TRUE(test::waitUntil([&] { return got.size() == 2; }));
    EXPECT_EQ(got.value(0), "http://example.com/a file.zip");
    EXPECT_EQ(got.value(1), "ftp://host/x y");

    // Another program of the suite is a separate instance.
    SingleInstance other("Tessaly", "TessalyFtpLocator");
    EXPECT_TRUE(other.acquire());
}

TEST(SingleInstance, NothingToSendToWhenNoCopyRuns)
{
    SingleInstance lone("Pellanor", "TessalyRecieveMessage");
    EXPECT_FALSE(lone.send("http://x/y", 300));
    {
        SingleInstance gone("Pellanor", "TessalyRecieveMessage");
        ASSERT_TRUE(gone.acquire());
    }
    // The lock goes with its owner.
    EXPECT_TRUE(lone.acquire());
}

// A receiver that opens a dialog (its own event loop) while the sender's socket closes and goes.
TEST(SingleInstance, ReceiverMayRunItsOwnEventLoop)
{
    SingleInstance first("Pellanor", "TessalyRecieveMessage");
    ASSERT_TRUE(first.acquire());
    ASSERT_TRUE(first.listen());
    QStringList got;
    QObject::connect(&first, &SingleInstance::received, [&](const QString& t) {
        got.append(t);
        test::runFor(150);
    });
    SingleInstance second("Pellanor", "TessalyRecieveMessage");
    ASSERT_TRUE(second.send("http://a/1.zip"));
    ASSERT_TRUE(second.send("http://a/2.zip"));
    EXPECT_TRUE(test::waitUntil([&] { return got.size() == 2; }));
    EXPECT_EQ(got, (QStringList{"http://a/1.zip", "http://a/2.zip"}));
}

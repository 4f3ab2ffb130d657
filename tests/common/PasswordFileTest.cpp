// Passwords where no keyring runs: kept only when the user asked for it, then in a file of the
// application folder that only they can read, obfuscated.

#include "common/platform/AppFolder.h"
#include "common/platform/SecretStore.h"
#include "tests/support/TestEnvironment.h"

#include <QFileInfo>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;

TEST(PasswordFile, WithoutAKeyringAPasswordIsKeptOnlyInThePrivateFileAndOnlyWhenAsked)
{
    SecretStore& store = SecretStore::instance();
    ASSERT_FALSE(store.keyringAvailable());
    const QString entry = SecretStore::entryName("Tessaly", "profile", "nokeyring");
    const struct {
        bool allowed;
        SecretStore::Kept kept;
        QString settingsValue;
    } cases[] = {{false, SecretStore::Kept::NotKept, ""}, {true, SecretStore::Kept::File, SecretStore::marker()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.allowed);
        SecretStore::setFileAllowed(c.allowed);
        SecretStore::Kept kept = SecretStore::Kept::Keyring;
        EXPECT_EQ(store.keep(entry, "s3cr3t", &kept), c.settingsValue);
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(store.find(entry, c.settingsValue), c.allowed ? "s3cr3t" : "");
        EXPECT_FALSE(test::readFile(SecretStore::filePath()).contains("s3cr3t"));
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(SecretStore::filePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // An empty password removes what was kept.
    EXPECT_EQ(store.keep(entry, ""), "");
    EXPECT_EQ(store.find(entry, SecretStore::marker()), "");
}

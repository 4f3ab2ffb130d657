#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <sys/stat.h>

namespace harbel::test {

namespace {

std::unique_ptr<QTemporaryDir> g_dir;

class PerTestFolders final : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        g_dir = std::make_unique<QTemporaryDir>();
        const QString root = g_dir->path();
        qputenv("HARBEL_HOME", (root + QStringLiteral("/home")).toUtf8());
        qputenv("HARBEL_REGISTRY", (root + QStringLiteral("/registry.reg")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    }
    void OnTestEnd(const ::testing::TestInfo&) override { g_dir.reset(); }
};

}  // namespace

void installPerTestFolders()
{
    QStandardPaths::setTestModeEnabled(false);
    // The user's own keyring is never reached: tests that want one start their own. The desktop's
    // bus is also found in its runtime folder.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("XDG_RUNTIME_DIR");
    ::testing::UnitTest::GetInstance()->listeners().Append(new PerTestFolders);
}

QString testFolder()
{
    return g_dir ? g_dir->path() : QString();
}

int timeLimit(int ms)
{
    static const int factor = std::max(1, qEnvironmentVariableIntValue("HARBEL_TEST_TIME_FACTOR"));
    return ms * factor;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeLimit(timeoutMs));
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void runFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
}

QByteArray randomBytes(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(b.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        b[i] = char(QRandomGenerator::global()->bounded(256));
    return b;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QStringList notPrivate(const QStringList& paths)
{
    QStringList found;
    const auto check = [&found](const QString& path) {
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            return;
        const mode_t mode = st.st_mode & 07777;
        if ((S_ISDIR(st.st_mode) && mode != 0700) || (S_ISREG(st.st_mode) && mode != 0600) || S_ISLNK(st.st_mode))
            found << path + u' ' + QString::number(mode, 8);
    };
    for (const QString& path : paths) {
        check(path);
        QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            check(it.next());
    }
    return found;
}

}  // namespace harbel::test

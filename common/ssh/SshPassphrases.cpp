#include "common/ssh/SshPassphrases.h"

#include "common/platform/SecretStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <libssh/libssh.h>

#include <memory>

namespace harbel {

namespace {

QMutex& guard()
{
    static QMutex mutex;
    return mutex;
}

QHash<QString, QString>& remembered()
{
    static QHash<QString, QString> passphrases;
    return passphrases;
}

QString absolute(const QString& keyFile)
{
    return QFileInfo(keyFile).absoluteFilePath();
}

// The keyring's jobs belong to the main thread's event loop: a caller on another thread waits
// there for the answer, though not for ever (a main thread that is itself waiting for the caller,
// as when the program ends, never runs the work; then nothing was read or kept).
template <typename Work>
void onMainThread(Work work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    struct Shared {
        QSemaphore done;
        QMutex lock;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    // The work writes into the caller's variables: it runs only while the caller still waits.
    QMetaObject::invokeMethod(app, [shared, work] {
        const QMutexLocker hold(&shared->lock);
        if (shared->abandoned)
            return;
        work();
        shared->done.release();
    });
    if (shared->done.tryAcquire(1, 60000))
        return;
    const QMutexLocker hold(&shared->lock);
    shared->abandoned = true;
    // Done between the time-out and the lock: it counted.
    shared->done.tryAcquire(1);
}

}  // namespace

QString SshPassphrases::entry(const QString& keyFile)
{
    return SecretStore::entryName(QStringLiteral("Harbel"), QStringLiteral("key passphrase"), absolute(keyFile));
}

QString SshPassphrases::saved(const QString& keyFile)
{
    {
        const QMutexLocker lock(&guard());
        if (const auto it = remembered().constFind(absolute(keyFile)); it != remembered().cend())
            return *it;
    }
    QString secret;
    onMainThread([&] {
        if (SecretStore::instance().readNow(entry(keyFile), &secret) != SecretStore::Status::Ok)
            secret.clear();
    });
    return secret;
}

void SshPassphrases::remember(const QString& keyFile, const QString& passphrase)
{
    const QMutexLocker lock(&guard());
    remembered().insert(absolute(keyFile), passphrase);
}

bool SshPassphrases::save(const QString& keyFile, const QString& passphrase)
{
    bool kept = false;
    onMainThread([&] { kept = SecretStore::instance().writeNow(entry(keyFile), passphrase) == SecretStore::Status::Ok; });
    return kept;
}

bool SshPassphrases::keyringAvailable()
{
    bool available = false;
    onMainThread([&] { available = SecretStore::instance().keyringAvailable(); });
    return available;
}

bool SshPassphrases::opens(const QString& keyFile, const QString& passphrase)
{
    const QByteArray file = QFile::encodeName(keyFile);
    const QByteArray secret = passphrase.toUtf8();
    ssh_key key = nullptr;
    const bool ok = ssh_pki_import_privkey_file(file.constData(), secret.constData(), nullptr, nullptr, &key) == SSH_OK;
    ssh_key_free(key);
    return ok;
}

}  // namespace harbel

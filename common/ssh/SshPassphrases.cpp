#include "common/ssh/SshPassphrases.h"

#include "common/platform/SecretStore.h"
#include "common/prompts/Prompts.h"

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

// The keyring's answers come on the main thread's event loop. A caller on another thread starts
// the work there and waits for its answer, though not for ever: a main thread that is itself
// waiting for the caller, as when the program ends, never runs the work, and then nothing was read.
template <typename Answer, typename Start>
Answer fromMainThread(Answer fallback, Start start)
{
    struct Shared {
        QSemaphore done;
        Answer answer;
    };
    auto shared = std::make_shared<Shared>();
    shared->answer = fallback;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [shared, start] {
        start([shared](const Answer& answer) {
            shared->answer = answer;
            shared->done.release();
        });
    });
    return shared->done.tryAcquire(1, 60000) ? shared->answer : fallback;
}

bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
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
    const QString name = entry(keyFile);
    if (onMainThread()) {
        QString secret;
        return SecretStore::instance().readNow(name, &secret) == SecretStore::Status::Ok ? secret : QString();
    }
    return fromMainThread(QString(), [name](auto answer) {
        SecretStore::instance().read(name, QCoreApplication::instance(), [answer](SecretStore::Status status, const QString& secret) {
            answer(status == SecretStore::Status::Ok ? secret : QString());
        });
    });
}

void SshPassphrases::remember(const QString& keyFile, const QString& passphrase)
{
    const QMutexLocker lock(&guard());
    remembered().insert(absolute(keyFile), passphrase);
}

bool SshPassphrases::save(const QString& keyFile, const QString& passphrase)
{
    return SecretStore::instance().writeNow(entry(keyFile), passphrase) == SecretStore::Status::Ok;
}

QString SshPassphrases::ask(const QString& keyFile, const QString& title, const std::function<bool()>& stillWanted)
{
    // Whether a keyring runs is asked at once, and answered while the user types.
    QObject asking;
    auto keyring = std::make_shared<bool>(false);
    SecretStore::instance().probe(&asking, [keyring](bool available) { *keyring = available; });
    QString prompt = QStringLiteral("The private key %1 needs its passphrase. It is kept until the program ends.").arg(keyFile);
    QString given;
    for (int tries = 0; tries < 3 && given.isEmpty(); ++tries) {
        const std::optional<QString> answer = Prompts::instance().PasswordBox(prompt, title);
        // Dismissed, or no longer wanted while the box was open: the key is left out.
        if (!answer || answer->isEmpty() || !stillWanted())
            return {};
        if (opens(keyFile, *answer))
            given = *answer;
        else
            prompt = QStringLiteral("That passphrase does not open the key %1. Its passphrase:").arg(keyFile);
    }
    if (given.isEmpty())
        return {};
    remember(keyFile, given);
    if (*keyring
        && Prompts::instance().MsgBox(QStringLiteral("Save the passphrase of %1 in the keyring? Transfers that start by themselves "
                                                     "and the command lines can then use the key too.")
                                          .arg(keyFile),
                                      MsgButtons::YesNo, MsgIcon::Question, title)
               == MsgAnswer::Yes) {
        SecretStore::instance().write(entry(keyFile), given, QCoreApplication::instance(), [title](SecretStore::Status status) {
            if (status != SecretStore::Status::Ok)
                Prompts::instance().MsgBox(QStringLiteral("The keyring did not take the passphrase; it is kept until the program ends."),
                                           MsgButtons::OkOnly, MsgIcon::Exclamation, title);
        });
    }
    return stillWanted() ? given : QString();
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

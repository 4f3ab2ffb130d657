#include "common/platform/SecretStore.h"

#include "common/platform/AppFolder.h"
#include "common/platform/IniFile.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>

#ifdef HARBEL_HAVE_KEYCHAIN
#include <qt6keychain/keychain.h>
#endif

namespace harbel {

namespace {

constexpr char kService[] = "Harbel";
constexpr char kFileSection[] = "Passwords";
constexpr char kChoiceSection[] = "Choice";
constexpr char kChoiceName[] = "SaveInFile";

// The private file's obfuscation: each byte moved by 10, as the settings files did, then hex so the
// line stays text.
QString obfuscated(const QString& secret)
{
    QByteArray bytes = secret.toUtf8();
    for (char& c : bytes)
        c = char((quint8(c) + 10) & 0xFF);
    return QString::fromLatin1(bytes.toHex());
}

QString plain(const QString& stored)
{
    QByteArray bytes = QByteArray::fromHex(stored.toLatin1());
    for (char& c : bytes)
        c = char((quint8(c) + 256 - 10) & 0xFF);
    return QString::fromUtf8(bytes);
}

// No session bus can be reached (no address, and none where the desktop keeps its own): no Secret
// Service either, known without asking.
bool noSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

#ifdef HARBEL_HAVE_KEYCHAIN
SecretStore::Status statusOf(const QKeychain::Job& job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return SecretStore::Status::Ok;
    case QKeychain::EntryNotFound:
        return SecretStore::Status::NotFound;
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
    case QKeychain::CouldNotDeleteEntry:
        return SecretStore::Status::Failed;
    default:
        // No backend, no session bus, no Secret Service on it.
        return SecretStore::Status::NoKeyring;
    }
}

template <typename JobType>
JobType* startJob(const QString& entry, QObject* context, std::function<void(JobType&)> done)
{
    auto* job = new JobType(QString::fromLatin1(kService));
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(entry);
    QPointer<QObject> guard(context);
    QObject::connect(job, &QKeychain::Job::finished, [guard, context, done](QKeychain::Job* j) {
        if (!context || guard)
            done(static_cast<JobType&>(*j));
    });
    return job;
}
#endif

}  // namespace

SecretStore& SecretStore::instance()
{
    static SecretStore store;
    return store;
}

QString SecretStore::entryName(const QString& program, const QString& kind, const QString& key)
{
    return QStringLiteral("%1 %2 \"%3\"").arg(program, kind, key);
}

QString SecretStore::marker()
{
    return QStringLiteral("{kept in the keyring}");
}

QString SecretStore::askedMarker()
{
    return QStringLiteral("{asked at each use}");
}

QString SecretStore::filePath()
{
    return AppFolder::file(QStringLiteral("Passwords.ini"));
}

void SecretStore::read(const QString& entry, QObject* context, std::function<void(Status, const QString&)> done)
{
    if (noSessionBus()) {
        done(Status::NoKeyring, QString());
        return;
    }
#ifdef HARBEL_HAVE_KEYCHAIN
    startJob<QKeychain::ReadPasswordJob>(entry, context, [done](QKeychain::ReadPasswordJob& job) {
        done(statusOf(job), job.error() == QKeychain::NoError ? job.textData() : QString());
    })->start();
#else
    Q_UNUSED(entry);
    QMetaObject::invokeMethod(context ? context : this, [done] { done(Status::NoKeyring, QString()); }, Qt::QueuedConnection);
#endif
}

void SecretStore::write(const QString& entry, const QString& secret, QObject* context, std::function<void(Status)> done)
{
    if (noSessionBus()) {
        done(Status::NoKeyring);
        return;
    }
#ifdef HARBEL_HAVE_KEYCHAIN
    auto* job = startJob<QKeychain::WritePasswordJob>(entry, context,
                                                      [done](QKeychain::WritePasswordJob& j) { done(statusOf(j)); });
    job->setTextData(secret);
    job->start();
#else
    Q_UNUSED(entry);
    Q_UNUSED(secret);
    QMetaObject::invokeMethod(context ? context : this, [done] { done(Status::NoKeyring); }, Qt::QueuedConnection);
#endif
}

SecretStore::Status SecretStore::readNow(const QString& entry, QString* secret)
{
    QEventLoop loop;
    Status status = Status::NoKeyring;
    bool answered = false;
    read(entry, nullptr, [&](Status s, const QString& text) {
        status = s;
        if (secret)
            *secret = text;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return status;
}

SecretStore::Status SecretStore::writeNow(const QString& entry, const QString& secret)
{
    QEventLoop loop;
    Status status = Status::NoKeyring;
    bool answered = false;
    write(entry, secret, nullptr, [&](Status s) {
        status = s;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return status;
}

SecretStore::Status SecretStore::removeNow(const QString& entry)
{
    if (noSessionBus())
        return Status::NoKeyring;
#ifdef HARBEL_HAVE_KEYCHAIN
    QEventLoop loop;
    Status status = Status::NoKeyring;
    bool answered = false;
    startJob<QKeychain::DeletePasswordJob>(entry, nullptr, [&](QKeychain::DeletePasswordJob& j) {
        status = statusOf(j);
        answered = true;
        loop.quit();
    })->start();
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return status;
#else
    Q_UNUSED(entry);
    return Status::NoKeyring;
#endif
}

namespace {

QString probeEntry()
{
    return SecretStore::entryName(QStringLiteral("Harbel"), QStringLiteral("probe"), QStringLiteral("keyring"));
}

}  // namespace

bool SecretStore::keyringAvailable()
{
    const Status s = readNow(probeEntry(), nullptr);
    return s == Status::Ok || s == Status::NotFound;
}

void SecretStore::probe(QObject* context, std::function<void(bool available)> done)
{
    read(probeEntry(), context, [done](Status s, const QString&) { done(s == Status::Ok || s == Status::NotFound); });
}

bool SecretStore::fileAllowed()
{
    return IniFile(filePath()).value(QString::fromLatin1(kChoiceSection), QString::fromLatin1(kChoiceName)) == QLatin1String("1");
}

void SecretStore::setFileAllowed(bool allowed)
{
    IniFile(filePath()).writeString(QString::fromLatin1(kChoiceSection), QString::fromLatin1(kChoiceName),
                                    allowed ? QStringLiteral("1") : QStringLiteral("0"));
}

QString SecretStore::cacheKey(const QString& entry) const
{
    return IniFile(filePath()).path() + u'\n' + entry;
}

QString SecretStore::settle(const QString& entry, const QString& secret, Status status, Kept* where)
{
    IniFile file(filePath());
    read_.remove(cacheKey(entry));
    const auto done = [&](Kept k, const QString& value) {
        if (where)
            *where = k;
        kept_.insert(cacheKey(entry), Kept_{secret, value, k});
        return value;
    };
    if (secret.isEmpty()) {
        file.deleteKey(QString::fromLatin1(kFileSection), entry);
        return done(Kept::NotKept, QString());
    }
    if (status == Status::Ok) {
        file.deleteKey(QString::fromLatin1(kFileSection), entry);
        return done(Kept::Keyring, marker());
    }
    if (status == Status::NoKeyring && fileAllowed()
        && file.writeString(QString::fromLatin1(kFileSection), entry, obfuscated(secret)))
        return done(Kept::File, marker());
    return done(Kept::NotKept, QString());
}

QString SecretStore::keep(const QString& entry, const QString& secret, Kept* where)
{
    if (const auto it = kept_.constFind(cacheKey(entry)); it != kept_.cend() && it->secret == secret && !where)
        return it->value;
    // Read from the keyring in this run: it holds that password already.
    if (const auto it = read_.constFind(cacheKey(entry)); it != read_.cend() && *it == secret && !secret.isEmpty() && !where)
        return marker();
    const Status status = secret.isEmpty() ? removeNow(entry) : writeNow(entry, secret);
    return settle(entry, secret, status, where);
}

QString SecretStore::keepOrAsk(const QString& entry, const QString& secret)
{
    const QString value = keep(entry, secret);
    if (!value.isEmpty() || secret.isEmpty())
        return value;
    remember(entry, secret);
    return askedMarker();
}

void SecretStore::keepLater(const QString& entry, const QString& secret, QObject* context, std::function<void(Kept)> done)
{
    if (const auto it = kept_.constFind(cacheKey(entry)); it != kept_.cend() && it->secret == secret && it->where != Kept::NotKept) {
        done(it->where);
        return;
    }
    if (const auto it = read_.constFind(cacheKey(entry)); it != read_.cend() && *it == secret && !secret.isEmpty()) {
        done(Kept::Keyring);
        return;
    }
    QPointer<QObject> guard(context);
    auto settled = [this, entry, secret, guard, context, done](Status status) {
        Kept where = Kept::NotKept;
        settle(entry, secret, status, &where);
        if (!context || guard)
            done(where);
    };
    if (!secret.isEmpty()) {
        write(entry, secret, nullptr, settled);
        return;
    }
    if (noSessionBus()) {
        settled(Status::NoKeyring);
        return;
    }
#ifdef HARBEL_HAVE_KEYCHAIN
    startJob<QKeychain::DeletePasswordJob>(entry, nullptr, [settled](QKeychain::DeletePasswordJob& j) {
        settled(statusOf(j));
    })->start();
#else
    QMetaObject::invokeMethod(this, [settled] { settled(Status::NoKeyring); }, Qt::QueuedConnection);
#endif
}

bool SecretStore::migrate(const QString& entry, const QString& secret)
{
    if (secret.isEmpty() || isMarker(secret) || isAskedMarker(secret))
        return false;
    if (isMarker(keep(entry, secret)))
        return true;
    if (!migrationFailedSaid_) {
        migrationFailedSaid_ = true;
        qWarning("A password could not be moved to the keyring and stays where it was: %s", qPrintable(entry));
        emit migrationFailed(entry);
    }
    return false;
}

void SecretStore::remember(const QString& entry, const QString& secret)
{
    remembered_.insert(entry, secret);
}

bool SecretStore::atHand(const QString& entry, const QString& settingsValue, QString* secret) const
{
    if (isAskedMarker(settingsValue)) {
        *secret = remembered_.value(entry);
        return true;
    }
    if (!isMarker(settingsValue)) {
        *secret = settingsValue;
        return true;
    }
    // Kept or read in this run: the keyring is not asked again.
    if (const auto it = kept_.constFind(cacheKey(entry)); it != kept_.cend() && it->value == settingsValue) {
        *secret = it->secret;
        return true;
    }
    if (const auto it = read_.constFind(cacheKey(entry)); it != read_.cend()) {
        *secret = *it;
        return true;
    }
    return false;
}

QString SecretStore::fromFile(const QString& entry) const
{
    const QString stored = IniFile(filePath()).value(QString::fromLatin1(kFileSection), entry);
    // Neither has it (no keyring in this session): what the user gave in this run, if anything.
    return stored.isEmpty() ? remembered_.value(entry) : plain(stored);
}

QString SecretStore::find(const QString& entry, const QString& settingsValue)
{
    QString secret;
    if (atHand(entry, settingsValue, &secret))
        return secret;
    if (readNow(entry, &secret) == Status::Ok) {
        read_.insert(cacheKey(entry), secret);
        return secret;
    }
    return fromFile(entry);
}

void SecretStore::findLater(const QString& entry, const QString& settingsValue, QObject* context,
                            std::function<void(const QString&)> done)
{
    QString secret;
    if (atHand(entry, settingsValue, &secret)) {
        done(secret);
        return;
    }
    QPointer<QObject> guard(context);
    auto answer = [guard, context, done](const QString& found) {
        if (!context || guard)
            done(found);
    };
    const QString key = cacheKey(entry);
    if (const auto it = reading_.find(key); it != reading_.end()) {
        it->append(answer);
        return;
    }
    reading_.insert(key, {answer});
    read(entry, nullptr, [this, key, entry](Status status, const QString& text) {
        QString found = text;
        if (status == Status::Ok)
            read_.insert(key, text);
        else
            found = fromFile(entry);
        for (const auto& waiting : reading_.take(key))
            waiting(found);
    });
}

}  // namespace harbel

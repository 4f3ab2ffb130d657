#include "downloader/engine/SftpRetrieval.h"

#include "common/ssh/SftpReader.h"
#include "common/ssh/SshLogin.h"
#include "downloader/engine/OutputFile.h"

#include <QElapsedTimer>
#include <QFile>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <fcntl.h>

#include <memory>
#include <vector>

namespace harbel {

namespace {

struct SessionFree {
    void operator()(ssh_session s) const
    {
        ssh_disconnect(s);
        ssh_free(s);
    }
};
struct SftpFree {
    void operator()(sftp_session s) const { sftp_free(s); }
};
struct FileClose {
    void operator()(sftp_file f) const { sftp_close(f); }
};

QString sshError(ssh_session ssh)
{
    return QString::fromUtf8(ssh_get_error(ssh));
}

}  // namespace

SftpRetrieval::SftpRetrieval(Login login, qint64 offset, HostKeyQuestion ask, QObject* parent)
    : QThread(parent), login_(std::move(login)), offset_(offset), ask_(std::move(ask))
{
}

SftpRetrieval::~SftpRetrieval()
{
    stop();
    wait();
}

QString SftpRetrieval::acceptHostKey(ssh_session ssh)
{
    const SshHostKey key = SshHostKey::check(ssh, login_.server, login_.port);
    switch (key.verdict) {
    case SshHostKey::Verdict::Known:
        return {};
    case SshHostKey::Verdict::Missing:
        return QStringLiteral("The server showed no host key.");
    case SshHostKey::Verdict::Changed:
        return key.changedText();
    case SshHostKey::Verdict::Unreadable:
        return QStringLiteral("The known hosts file could not be read: %1").arg(key.error);
    case SshHostKey::Verdict::Unknown:
        break;
    }
    if (!ask_)
        return QStringLiteral("The server's host key is not known: %1 %2 for %3. Check the fingerprint, then accept it with "
                              "ssh-keyscan or connect once from a terminal (ssh).")
            .arg(key.type, key.fingerprint, key.where);
    const Trust trust = stop_ ? Trust::Refuse : ask_(key);
    if (trust == Trust::Refuse)
        return QStringLiteral("The host key of %1 is not known (%2 %3), and it was not accepted.").arg(key.where, key.type, key.fingerprint);
    if (trust == Trust::Always) {
        const QString path = login_.knownHosts.isEmpty() ? SshHostKey::defaultKnownHostsPath() : login_.knownHosts;
        SshHostKey::remember(ssh, path);
    }
    return {};
}

SftpRetrieval::Outcome SftpRetrieval::fetch()
{
    const std::unique_ptr<ssh_session_struct, SessionFree> ssh(ssh_new());
    if (!ssh) {
        return {Outcome::ConnectionFailed, QStringLiteral("Could not start an SSH session.")};
    }
    const QByteArray host = login_.server.toUtf8();
    const QByteArray user = login_.user.toUtf8();
    const QByteArray knownHosts = QFile::encodeName(login_.knownHosts.isEmpty() ? SshHostKey::defaultKnownHostsPath() : login_.knownHosts);
    const unsigned int port = login_.port;
    const long timeout = login_.timeoutSeconds;
    const int no = 0;
    ssh_options_set(ssh.get(), SSH_OPTIONS_HOST, host.constData());
    ssh_options_set(ssh.get(), SSH_OPTIONS_PORT, &port);
    if (!user.isEmpty())
        ssh_options_set(ssh.get(), SSH_OPTIONS_USER, user.constData());
    ssh_options_set(ssh.get(), SSH_OPTIONS_TIMEOUT, &timeout);
    // What this session does is given by the address alone, not by ~/.ssh/config.
    ssh_options_set(ssh.get(), SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(ssh.get(), SSH_OPTIONS_KNOWNHOSTS, knownHosts.constData());
    // Each small request waits for its answer: none may wait for the acknowledgement of the one before.
    const int yes = 1;
    ssh_options_set(ssh.get(), SSH_OPTIONS_NODELAY, &yes);
    if (ssh_connect(ssh.get()) != SSH_OK) {
        return {Outcome::ConnectionFailed, sshError(ssh.get())};
    }
    if (const QString refusal = acceptHostKey(ssh.get()); !refusal.isEmpty()) {
        return {Outcome::Refused, refusal};
    }
    if (stop_)
        return {};
    emit loggingIn();
    SshLogin sshLogin;
    sshLogin.password = login_.password;
    sshLogin.askPassphrase = login_.askPassphrase;
    sshLogin.timeoutSeconds = login_.timeoutSeconds;
    if (!sshLogin.authenticate(ssh.get())) {
        const QString locked = sshLogin.failureReason();
        return {Outcome::Refused, QStringLiteral("The server did not take the login of %1: %2%3")
                                      .arg(login_.user, sshError(ssh.get()), locked.isEmpty() ? QString() : u' ' + locked)};
    }
    const std::unique_ptr<sftp_session_struct, SftpFree> sftp(sftp_new(ssh.get()));
    if (!sftp || sftp_init(sftp.get()) != SSH_OK) {
        return {Outcome::Refused, QStringLiteral("The server offers no SFTP: %1").arg(sshError(ssh.get()))};
    }
    const std::unique_ptr<sftp_file_struct, FileClose> file(sftp_open(sftp.get(), login_.path.toUtf8().constData(), O_RDONLY, 0));
    if (!file) {
        const int error = sftp_get_error(sftp.get());
        return {Outcome::Refused, error == SSH_FX_NO_SUCH_FILE || error == SSH_FX_NO_SUCH_PATH
                         ? QStringLiteral("%1: no such file.").arg(login_.path)
                     : error == SSH_FX_PERMISSION_DENIED ? QStringLiteral("%1: permission denied.").arg(login_.path)
                                                         : QStringLiteral("%1: %2").arg(login_.path, sshError(ssh.get()))};
    }
    qint64 size = -1;
    if (sftp_attributes a = sftp_fstat(file.get())) {
        if (a->flags & SSH_FILEXFER_ATTR_SIZE)
            size = qint64(a->size);
        sftp_attributes_free(a);
    }
    // A file that shrank below what is kept starts again.
    const qint64 offset = size >= 0 ? std::min(offset_, size) : offset_;
    emit opened(size);
    OutputFile out(login_.localPath);
    if (!out.open()) {
        return {Outcome::Refused, out.failure()};
    }
    // A large file is read over more SFTP sessions of the connection too, each with its own window
    // (SftpReader); one that cannot be opened leaves the reading to the others.
    std::vector<std::unique_ptr<sftp_session_struct, SftpFree>> sessions;
    std::vector<std::unique_ptr<sftp_file_struct, FileClose>> more;
    std::vector<sftp_file> files{file.get()};
    for (int i = 1; i < kReadSessions && size - offset >= kMoreSessionsFrom; ++i) {
        sessions.emplace_back(sftp_new(ssh.get()));
        if (!sessions.back() || sftp_init(sessions.back().get()) != SSH_OK)
            break;
        more.emplace_back(sftp_open(sessions.back().get(), login_.path.toUtf8().constData(), O_RDONLY, 0));
        if (!more.back())
            break;
        files.push_back(more.back().get());
    }
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    QString writeFailure;
    SftpReader reader(files, kReadChunk, kReadWindow);
    const SftpReader::End end = reader.read(offset, size, [&](const char* data, qint64 n, qint64 position) {
        if (stop_)
            return false;
        if (!out.write(position - n, data, n)) {
            writeFailure = out.failure();
            return false;
        }
        // Often enough for the progress, seldom enough for the job's queue.
        if (sinceSignal.elapsed() >= 100) {
            sinceSignal.restart();
            emit progressed(position);
        }
        return true;
    });
    out.close();
    if (stop_)
        return {};
    emit progressed(reader.position());
    if (!writeFailure.isEmpty())
        return {Outcome::Refused, writeFailure};
    if (end == SftpReader::End::Failed || (size >= 0 && reader.position() < size))
        return {Outcome::ConnectionFailed,
                QStringLiteral("%1 ended after %2 bytes: %3").arg(login_.path).arg(reader.position()).arg(sshError(ssh.get()))};
    return {Outcome::Done, {}, reader.position()};
}

void SftpRetrieval::run()
{
    // The session is gone before the end is told: nothing of libssh runs once the job knows.
    const Outcome o = fetch();
    if (stop_)
        return;
    switch (o.end) {
    case Outcome::Done:
        emit done(o.position);
        break;
    case Outcome::ConnectionFailed:
        emit connectionFailed(o.reason);
        break;
    case Outcome::Refused:
        emit refused(o.reason);
        break;
    case Outcome::Stopped:
        break;
    }
}

}  // namespace harbel

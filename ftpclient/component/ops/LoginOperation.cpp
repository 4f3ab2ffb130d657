#include "ftpclient/component/ops/LoginOperation.h"

#include "common/net/TlsTrust.h"
#include "ftpclient/component/CertificateTrust.h"
#include "ftpclient/component/ControlChannel.h"
#include "ftpclient/component/FtpComponent.h"

#include <QTimer>

namespace harbel::tessaly {

void LoginOperation::start()
{
    state_ = State::Connecting;
    // What an earlier server offered says nothing about this one, which may not answer FEAT at all.
    ftp_.mlsd_ = ftp_.utf8_ = ftp_.size_ = ftp_.rest_ = false;
    ftp_.dataProtected_ = false;
    ControlChannel* control = ftp_.control_;
    connect(control, &ControlChannel::tlsReady, this, &LoginOperation::tlsReady);
    connect(control, &ControlChannel::tlsFailed, this, [this](const QString& why) {
        fail(ftpErrTls, QStringLiteral("The TLS handshake with %1 failed: %2. Nothing was sent in clear text.").arg(ftp_.Host, why));
    });
    connect(control, &ControlChannel::certificateQuestion, this, &LoginOperation::judgeCertificate);
    control->open(ftp_.Host, ftp_.Port, ftp_.proxy(), ftp_.UseTls);
}

QString LoginOperation::timeoutText() const
{
    if (state_ == State::Handshake)
        return QStringLiteral("The server %1 stopped answering in the middle of the TLS handshake.").arg(ftp_.Host);
    return FtpOperation::timeoutText();
}

void LoginOperation::sendUser()
{
    state_ = State::User;
    send(QStringLiteral("USER ") + ftp_.User);
}

void LoginOperation::tlsReady()
{
    if (isFinished() || state_ != State::Handshake)
        return;
    log(QStringLiteral("The connection to %1 is encrypted (TLS).").arg(ftp_.Host));
    sendUser();
}

void LoginOperation::judgeCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors)
{
    if (isFinished())
        return ftp_.control_->refuseCertificate();
    CertificateTrust* store = ftp_.certificateTrust();
    const QString fingerprint = tls::fingerprint(certificate);
    const QString trusted = store ? store->fingerprintFor(ftp_.Host, ftp_.Port) : QString();
    if (!trusted.isEmpty() && trusted.compare(fingerprint, Qt::CaseInsensitive) == 0) {
        log(QStringLiteral("The certificate of %1 (%2) is one you chose to trust always.").arg(ftp_.Host, fingerprint));
        return ftp_.control_->acceptCertificate();
    }
    const CertificateInfo info = describeCertificate(ftp_.Host, ftp_.Port, certificate, errors, trusted);
    if (info.changed())
        log(QStringLiteral("WARNING: the certificate of %1 has changed: trusted before %2, presented now %3.")
                .arg(ftp_.Host, trusted, fingerprint));
    int answer = certRefuse;
    // The user takes the time the question needs: the server's silence meanwhile is no time-out.
    ftp_.watchdog_->stop();
    emit ftp_.CertificateQuery(info, answer);
    ftp_.touch();
    if (isFinished())
        return ftp_.control_->refuseCertificate();
    if (answer == certTrustAlways && !(store && store->trustAlways(ftp_.Host, ftp_.Port, fingerprint))) {
        log(store ? QStringLiteral("The certificate could not be kept in %1; it is trusted this time only.").arg(store->location())
                  : QStringLiteral("No store of trusted certificates is set; the certificate is trusted this time only."));
    }
    if (answer == certTrustAlways || answer == certTrustOnce) {
        log(QStringLiteral("You chose to trust the certificate of %1 (%2) %3.")
                .arg(ftp_.Host, fingerprint, answer == certTrustAlways ? QStringLiteral("always") : QStringLiteral("this time")));
        return ftp_.control_->acceptCertificate();
    }
    fail(ftpErrCertificate, QStringLiteral("The certificate of %1 was refused: %2.").arg(ftp_.Host, info.reason));
    ftp_.control_->refuseCertificate();
}

void LoginOperation::loggedIn()
{
    if (!ftp_.UseTls) {
        state_ = State::Feat;
        send(QStringLiteral("FEAT"));
        return;
    }
    state_ = State::Pbsz;
    send(QStringLiteral("PBSZ 0"));
}

void LoginOperation::opened()
{
    state_ = State::Greeting;
}

void LoginOperation::openFailed(const QString& description)
{
    fail(ftpErrConnectFailed, QStringLiteral("Could not connect to %1 on port %2: %3").arg(ftp_.Host).arg(ftp_.Port).arg(description));
}

void LoginOperation::askAccount()
{
    if (++accountsSent_ > 3)
        return fail(ftpErrLoginFailed, QStringLiteral("The server keeps asking for an account."));
    QString account;
    emit ftp_.AccountRequired(account);
    if (account.isEmpty())
        return fail(ftpErrLoginFailed, QStringLiteral("The server requires an account and none was given."));
    state_ = State::Acct;
    send(QStringLiteral("ACCT ") + account);
}

void LoginOperation::parseReply(const FtpReply& reply)
{
    if (reply.isPreliminary())
        return;  // 120: the server will be ready soon
    switch (state_) {
    case State::Connecting:
    case State::Greeting:
        if (reply.code != 220)
            return refuse(reply, ftpErrConnectFailed);
        if (ftp_.UseTls) {
            state_ = State::Auth;
            send(QStringLiteral("AUTH TLS"));
            return;
        }
        return sendUser();
    case State::Auth:
        if (reply.code != 234) {
            // FTP over TLS was chosen: a server without it gets no login in clear text.
            return fail(ftpErrTls, QStringLiteral("The server %1 refused FTP over TLS (AUTH TLS): %2 Nothing was sent in clear text.")
                                       .arg(ftp_.Host, reply.lines.join(QLatin1Char(' '))));
        }
        state_ = State::Handshake;
        ftp_.control_->startTls();
        return;
    case State::Handshake:
        return fail(ftpErrTls, QStringLiteral("The server %1 sent a reply in the middle of the TLS handshake.").arg(ftp_.Host));
    case State::Pbsz:
    case State::Prot:
        if (!reply.isCompletion()) {
            return fail(ftpErrTls, QStringLiteral("The server %1 refused to encrypt the data connections (%2): %3")
                                       .arg(ftp_.Host, state_ == State::Pbsz ? QStringLiteral("PBSZ 0") : QStringLiteral("PROT P"),
                                            reply.lines.join(QLatin1Char(' '))));
        }
        if (state_ == State::Pbsz) {
            state_ = State::Prot;
            send(QStringLiteral("PROT P"));
            return;
        }
        ftp_.dataProtected_ = true;
        state_ = State::Feat;
        send(QStringLiteral("FEAT"));
        return;
    case State::User:
    case State::Pass:
    case State::Acct:
        if (reply.code == 230 || reply.code == 202)
            return loggedIn();
        if (reply.code == 331) {
            QString password = ftp_.Password;
            if (passwordsSent_ > 0) {
                // A second 331: the server wants another password.
                password.clear();
                emit ftp_.PasswordRequired(password);
                if (password.isEmpty() || passwordsSent_ > 3)
                    return fail(ftpErrLoginFailed, reply.lines.join(QLatin1Char('\n')));
            }
            ++passwordsSent_;
            state_ = State::Pass;
            send(QStringLiteral("PASS ") + password);
            return;
        }
        if (reply.code == 332)
            return askAccount();
        return refuse(reply, ftpErrLoginFailed);
    case State::Feat:
        if (reply.isCompletion())
            ftp_.parseFeatures(reply);
        if (ftp_.utf8_) {
            state_ = State::Utf8;
            send(QStringLiteral("OPTS UTF8 ON"));
            return;
        }
        return succeed();
    case State::Utf8:
        return succeed();  // servers that refuse it still work, in their own encoding
    }
}

}  // namespace harbel::tessaly

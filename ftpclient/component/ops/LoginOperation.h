#pragma once

#include "ftpclient/component/ops/FtpOperation.h"

#include <QList>
#include <QSslCertificate>
#include <QSslError>

namespace harbel::tessaly {

// Greeting, AUTH TLS and its handshake (UseTls), USER, PASS (again when the server asks with a
// second 331), ACCT on 332, PBSZ 0 and PROT P (UseTls), FEAT, OPTS UTF8 ON.
class LoginOperation final : public FtpOperation {
    Q_OBJECT
public:
    enum class State { Connecting, Greeting, Auth, Handshake, User, Pass, Acct, Pbsz, Prot, Feat, Utf8 };

    using FtpOperation::FtpOperation;
    void start() override;
    QString timeoutText() const override;
    // The control connection is open (or could not be opened).
    void opened();
    void openFailed(const QString& description);

protected:
    void parseReply(const FtpReply& reply) override;

private:
    void sendUser();
    void loggedIn();
    void tlsReady();
    // A certificate that failed verification: trusted always before, or asked about.
    void judgeCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors);
    void askAccount();

    State state_ = State::Connecting;
    int passwordsSent_ = 0;
    int accountsSent_ = 0;
};

}  // namespace harbel::tessaly

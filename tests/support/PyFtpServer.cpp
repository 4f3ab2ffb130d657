#include "tests/support/PyFtpServer.h"

#include <QDeadlineTimer>

#ifndef PYFTPD_SCRIPT
#error "PYFTPD_SCRIPT must name tests/support/pyftpd_server.py"
#endif

namespace harbel::test {

PyFtpServer::PyFtpServer(QString root, Options options) : root_(std::move(root)), options_(std::move(options)) {}

PyFtpServer::~PyFtpServer()
{
    stop();
}

bool PyFtpServer::start()
{
    process_ = std::make_unique<QProcess>();
    QStringList args{QStringLiteral(PYFTPD_SCRIPT), QStringLiteral("--root"), root_,
                     QStringLiteral("--user"), options_.user, QStringLiteral("--password"), options_.password};
    if (options_.refuseLogin)
        args << QStringLiteral("--refuse-login");
    if (options_.noMlsd)
        args << QStringLiteral("--no-mlsd");
    if (options_.noMdtm)
        args << QStringLiteral("--no-mdtm");
    if (options_.anonymous)
        args << QStringLiteral("--anonymous");
    if (!options_.masquerade.isEmpty())
        args << QStringLiteral("--masquerade") << options_.masquerade;
    args << QStringLiteral("--host") << options_.host;
    if (options_.port != 0)
        args << QStringLiteral("--port") << QString::number(options_.port);
    if (options_.nameSize)
        args << QStringLiteral("--name-size");
    if (!options_.tlsCertificate.isEmpty()) {
        args << QStringLiteral("--tls-cert") << options_.tlsCertificate << QStringLiteral("--tls-key") << options_.tlsKey;
        if (options_.tlsRequireReuse)
            args << QStringLiteral("--tls-require-reuse");
        if (options_.tlsCutData >= 0)
            args << QStringLiteral("--tls-cut-data") << QString::number(options_.tlsCutData);
        if (options_.tlsStallHandshake)
            args << QStringLiteral("--tls-stall-handshake");
    }
    // PYFTPD_DEBUG=1 shows the server's own log of every command and transfer.
    if (qEnvironmentVariableIsSet("PYFTPD_DEBUG"))
        process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QStringLiteral("/usr/bin/python3"), args);
    if (!process_->waitForStarted(10000)) {
        error_ = process_->errorString();
        return false;
    }
    QDeadlineTimer deadline(15000);
    while (!process_->canReadLine() && !deadline.hasExpired()) {
        if (process_->state() != QProcess::Running || !process_->waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    if (!process_->canReadLine()) {
        error_ = QString::fromUtf8(process_->readAllStandardError());
        return false;
    }
    port_ = quint16(process_->readLine().trimmed().toUInt());
    return port_ != 0;
}

void PyFtpServer::stop()
{
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
    process_.reset();
}

}  // namespace harbel::test

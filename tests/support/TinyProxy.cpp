#include "tests/support/TinyProxy.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace harbel::test {

TinyProxy::TinyProxy(QString workFolder) : work_(std::move(workFolder))
{
    QDir().mkpath(work_);
}

TinyProxy::~TinyProxy()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000))
            process_->kill();
        process_->waitForFinished(5000);
    }
}

void TinyProxy::setCredentials(const QString& user, const QString& password)
{
    user_ = user;
    password_ = password;
}

QStringList TinyProxy::log() const
{
    QFile f(work_ + QStringLiteral("/tinyproxy.log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

bool TinyProxy::start()
{
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            why_ = QStringLiteral("no free port");
            return false;
        }
        port_ = probe.serverPort();
    }
    // No ConnectPort line: CONNECT is allowed to every port.
    QString conf = QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 60\nMaxClients 64\nAllow 127.0.0.1\n"
                                  "LogFile \"%2/tinyproxy.log\"\nLogLevel Info\n")
                       .arg(port_)
                       .arg(work_);
    if (!user_.isEmpty())
        conf += QStringLiteral("BasicAuth %1 %2\n").arg(user_, password_);
    QFile f(work_ + QStringLiteral("/tinyproxy.conf"));
    if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0) {
        why_ = QStringLiteral("cannot write the configuration");
        return false;
    }
    f.close();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(QStringLiteral("/usr/bin/tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), f.fileName()});
    if (!process_->waitForStarted(5000)) {
        why_ = QStringLiteral("tinyproxy did not start: ") + process_->errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process_->state() == QProcess::NotRunning) {
            why_ = QStringLiteral("tinyproxy ended: ") + QString::fromUtf8(process_->readAll());
            return false;
        }
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port_);
        if (s.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    why_ = QStringLiteral("tinyproxy did not accept connections");
    return false;
}

}  // namespace harbel::test

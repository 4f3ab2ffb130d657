#include "tests/support/TinyProxy.h"

#include <QDir>
#include <QFile>

namespace harbel::test {

TinyProxy::TinyProxy(QString workFolder) : work_(std::move(workFolder))
{
    QDir().mkpath(work_);
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
    port_ = freeLoopbackPort();
    if (port_ == 0) {
        why_ = QStringLiteral("no free port");
        return false;
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
    const QStringList arguments{QStringLiteral("-d"), QStringLiteral("-c"), f.fileName()};
    return process_.start(QStringLiteral("/usr/bin/tinyproxy"), arguments, port_, &why_);
}

}  // namespace harbel::test

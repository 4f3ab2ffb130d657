#include "tests/support/NginxServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace harbel::test {

NginxServer::NginxServer(const QString& workFolder) : work_(workFolder)
{
    QDir().mkpath(root());
    QDir().mkpath(work_ + QStringLiteral("/tmp"));
}

NginxServer::~NginxServer()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000))
            process_->kill();
        process_->waitForFinished(5000);
    }
}

QString NginxServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(path);
}

bool NginxServer::start()
{
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            why_ = QStringLiteral("no free port");
            return false;
        }
        port_ = probe.serverPort();
    }
    const QString t = work_ + QStringLiteral("/tmp");
    const QString conf = QStringLiteral(
        "daemon off;\nmaster_process off;\nworker_processes 1;\n"
        "pid %1/nginx.pid;\nerror_log %1/error.log;\n"
        "events { worker_connections 64; }\n"
        "http {\n  access_log off;\n  sendfile on;\n"
        "  client_body_temp_path %2; proxy_temp_path %2; fastcgi_temp_path %2; uwsgi_temp_path %2; scgi_temp_path %2;\n"
        "  types { application/octet-stream bin; }\n"
        "  server {\n    listen 127.0.0.1:%3;\n    root %4;\n%5"
        "    location /moved/ { rewrite ^/moved/(.*)$ /$1 redirect; }\n  }\n}\n")
                             .arg(work_, t)
                             .arg(port_)
                             .arg(root())
                             .arg(limitRate_.isEmpty() ? QString() : QStringLiteral("    limit_rate %1;\n").arg(limitRate_));
    QFile f(work_ + QStringLiteral("/nginx.conf"));
    if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0) {
        why_ = QStringLiteral("cannot write the configuration");
        return false;
    }
    f.close();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(QStringLiteral("/usr/sbin/nginx"),
                    {QStringLiteral("-p"), work_ + u'/', QStringLiteral("-c"), f.fileName(),
                     QStringLiteral("-e"), work_ + QStringLiteral("/error.log")});
    if (!process_->waitForStarted(5000)) {
        why_ = QStringLiteral("nginx did not start: ") + process_->errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process_->state() == QProcess::NotRunning) {
            why_ = QStringLiteral("nginx ended: ") + QString::fromUtf8(process_->readAll());
            return false;
        }
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port_);
        if (s.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    why_ = QStringLiteral("nginx did not accept connections");
    return false;
}

}  // namespace harbel::test

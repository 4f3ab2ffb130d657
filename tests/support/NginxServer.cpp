#include "tests/support/NginxServer.h"

#include <QDir>
#include <QFile>

namespace harbel::test {

NginxServer::NginxServer(const QString& workFolder) : work_(workFolder)
{
    QDir().mkpath(root());
    QDir().mkpath(work_ + QStringLiteral("/tmp"));
}

QString NginxServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(path);
}

void NginxServer::setTls(const QString& certificate, const QString& key)
{
    certificate_ = certificate;
    key_ = key;
}

QString NginxServer::tlsUrl(const QString& path, const QString& host) const
{
    return QStringLiteral("https://%1:%2/%3").arg(host).arg(tlsPort_).arg(path);
}

QStringList NginxServer::requestLog() const
{
    QFile f(work_ + QStringLiteral("/requests.log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

bool NginxServer::start()
{
    port_ = freeLoopbackPort();
    tlsPort_ = certificate_.isEmpty() ? 0 : freeLoopbackPort();
    if (port_ == 0 || (!certificate_.isEmpty() && tlsPort_ == 0)) {
        why_ = QStringLiteral("no free port");
        return false;
    }
    const QString t = work_ + QStringLiteral("/tmp");
    const QString limit = limitRate_.isEmpty() ? QString() : QStringLiteral("    limit_rate %1;\n").arg(limitRate_);
    QString servers = QStringLiteral("  server {\n    listen 127.0.0.1:%1;\n%4    root %2;\n%3"
                                     "    location /moved/ { rewrite ^/moved/(.*)$ /$1 redirect; }\n")
                          .arg(port_)
                          .arg(root(), limit, ipv6_ ? QStringLiteral("    listen [::1]:%1;\n").arg(port_) : QString());
    if (tlsPort_ != 0) {
        servers += QStringLiteral("    location /to-https/ { rewrite ^/to-https/(.*)$ https://127.0.0.1:%1/$1 redirect; }\n  }\n"
                                  "  server {\n    listen 127.0.0.1:%1 ssl;\n    root %2;\n%3"
                                  "    ssl_certificate %4;\n    ssl_certificate_key %5;\n"
                                  "    location /to-http/ { rewrite ^/to-http/(.*)$ http://127.0.0.1:%6/$1 redirect; }\n")
                       .arg(tlsPort_)
                       .arg(root(), limit, certificate_, key_)
                       .arg(port_);
    }
    servers += QStringLiteral("  }\n");
    const QString conf = QStringLiteral(
        "daemon off;\nmaster_process off;\nworker_processes 1;\n"
        "pid %1/nginx.pid;\nerror_log %1/error.log;\n"
        "events { worker_connections 64; }\n"
        "http {\n"
        "  log_format heads '$request | $http_range | $http_proxy_authorization | $http_via';\n"
        "  access_log %1/requests.log heads;\n  sendfile on;\n"
        "  client_body_temp_path %2; proxy_temp_path %2; fastcgi_temp_path %2; uwsgi_temp_path %2; scgi_temp_path %2;\n"
        "  types { application/octet-stream bin; }\n%3}\n")
                             .arg(work_, t, servers);
    QFile f(work_ + QStringLiteral("/nginx.conf"));
    if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0) {
        why_ = QStringLiteral("cannot write the configuration");
        return false;
    }
    f.close();
    const QStringList arguments{QStringLiteral("-p"), work_ + u'/', QStringLiteral("-c"), f.fileName(),
                                QStringLiteral("-e"), work_ + QStringLiteral("/error.log")};
    return process_.start(QStringLiteral("/usr/sbin/nginx"), arguments, tlsPort_ != 0 ? tlsPort_ : port_, &why_);
}

}  // namespace harbel::test

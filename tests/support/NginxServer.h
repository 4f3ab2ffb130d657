#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QStringList>

namespace harbel::test {

// A real nginx on a free loopback port, serving files from a folder of its own. Its configuration,
// pid file, logs and temporary folders all live in the given work folder. With a certificate it
// also serves the same folder over TLS on a second port; /to-https/NAME on the plain port redirects
// to https://.../NAME and /to-http/NAME on the TLS port back to http://.../NAME.
class NginxServer final {
public:
    explicit NginxServer(const QString& workFolder);

    // Starts nginx and waits until it accepts connections; false (with why()) when it did not.
    bool start();
    quint16 port() const { return port_; }
    QString root() const { return work_ + QStringLiteral("/www"); }
    QString url(const QString& path) const;
    const QString& why() const { return why_; }
    // A per-connection rate limit in nginx's notation ("512k"); set before start().
    void setLimitRate(const QString& rate) { limitRate_ = rate; }
    // Listens on the IPv6 loopback ([::1]) too, on the same port; set before start().
    void setIpv6(bool on) { ipv6_ = on; }

    // Serves over TLS too, with this certificate and key (PEM files); set before start().
    void setTls(const QString& certificate, const QString& key);
    quint16 tlsPort() const { return tlsPort_; }
    // The https:// address of path on the TLS port, with host as the address's server name.
    QString tlsUrl(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const;

    // Every request is written to a log, one line each: its request line, then the value of its
    // Range, Proxy-Authorization and Via fields ("-" when absent), separated by " | ".
    QStringList requestLog() const;

private:
    QString work_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    QString why_;
    QString limitRate_;
    bool ipv6_ = false;
    QString certificate_;
    QString key_;
    ServerProcess process_;
};

}  // namespace harbel::test

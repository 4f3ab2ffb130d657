#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>
#include <QStringList>

namespace harbel::test {

// A real HTTP proxy (Debian's tinyproxy) on a free loopback port, for plain requests and CONNECT
// tunnels to any port. With credentials it asks for them (Basic) and answers 407 without them. Its
// configuration and log live in the given work folder.
class TinyProxy final {
public:
    explicit TinyProxy(QString workFolder);
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    // Asks clients for this user and password; set before start().
    void setCredentials(const QString& user, const QString& password);
    // Starts tinyproxy and waits until it accepts connections; false (with why()) when it did not.
    bool start();
    quint16 port() const { return port_; }
    const QString& why() const { return why_; }
    // The lines of its log (connections, requests, CONNECT tunnels, refusals).
    QStringList log() const;

private:
    QString work_;
    QString user_;
    QString password_;
    quint16 port_ = 0;
    QString why_;
    ServerProcess process_;
};

}  // namespace harbel::test

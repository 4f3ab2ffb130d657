#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace harbel::test {

// A real nginx on a free loopback port, serving files from a folder of its own. Its configuration,
// pid file, logs and temporary folders all live in the given work folder.
class NginxServer final {
public:
    explicit NginxServer(const QString& workFolder);
    ~NginxServer();

    // Starts nginx and waits until it accepts connections; false (with why()) when it did not.
    bool start();
    quint16 port() const { return port_; }
    QString root() const { return work_ + QStringLiteral("/www"); }
    QString url(const QString& path) const;
    const QString& why() const { return why_; }
    // A per-connection rate limit in nginx's notation ("512k"); set before start().
    void setLimitRate(const QString& rate) { limitRate_ = rate; }

private:
    QString work_;
    quint16 port_ = 0;
    QString why_;
    QString limitRate_;
    std::unique_ptr<QProcess> process_;
};

}  // namespace harbel::test

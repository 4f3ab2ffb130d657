#pragma once

#include "common/net/ConnectionStage.h"

#include <QByteArray>

namespace harbel::net {

// The client side of a SOCKS 4 (4a for a name) or SOCKS 5 CONNECT to the route's server, on a
// socket connected to the proxy. Done once the proxy relays; what the server sent early stays in
// the socket. Its refusals are told in the proxy's terms ("The SOCKS 5 proxy refused the
// connection (code 5).").
class SocksStage final : public ConnectionStage {
    Q_OBJECT
public:
    using ConnectionStage::ConnectionStage;
    void start() override;
    void readable() override;

private:
    enum class Step { Greeting, Login, Connect, Done };
    void sendConnect5();
    // Takes from the socket until n bytes of the proxy's reply are in; false while they are not.
    bool need(qsizetype n);
    void refuse(Failure::Reason reason, const QString& why);
    void finish();

    Step step_ = Step::Greeting;
    QByteArray reply_;
};

// An HTTP proxy asked for a tunnel to the route's server (CONNECT host:port), with the route's
// Basic credentials when it logs in. Done on a 2xx reply; any other is a refusal that names the
// proxy's status. The reply's head is read line by line, so nothing of the server is taken.
class HttpTunnelStage final : public ConnectionStage {
    Q_OBJECT
public:
    using ConnectionStage::ConnectionStage;
    void start() override;
    void readable() override;

    // A reply head longer than this is not a head.
    static constexpr qsizetype kMaxHead = 64 * 1024;

private:
    void invalid();

    QByteArray statusLine_;
    qsizetype headBytes_ = 0;
    bool finished_ = false;
};

}  // namespace harbel::net

#pragma once

#include <QString>

namespace harbel::tessaly {

// Where the component's connections go through: nothing, or a SOCKS 4 / SOCKS 5 proxy.
struct SocksProxy {
    int kind = 0;  // 0 none, 4 SOCKS 4, anything else SOCKS 5
    QString host;
    quint16 port = 1080;
    QString user;
    QString password;
    bool used() const { return kind != 0 && !host.isEmpty(); }
};

}  // namespace harbel::tessaly

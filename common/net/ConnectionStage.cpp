#include "common/net/ConnectionStage.h"

#include <QTcpSocket>

namespace harbel::net {

ConnectionStage::ConnectionStage(QTcpSocket& socket, const Route& route, QObject* parent)
    : QObject(parent), socket_(socket), route_(route)
{
}

Failure ConnectionStage::fault(QAbstractSocket::SocketError error) const
{
    return {Failure::Reason::Unreachable, false, error, socket_.errorString(), 0};
}

}  // namespace harbel::net

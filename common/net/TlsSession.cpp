#include "common/net/TlsSession.h"

#include "common/net/TlsTrust.h"

#include <QSslSocket>

#ifdef __linux__
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace harbel::tls {

QSslConfiguration sessionConfiguration(const QByteArray& sessionTicket)
{
    QSslConfiguration configuration = clientConfiguration();
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    if (!sessionTicket.isEmpty())
        configuration.setSessionTicket(sessionTicket);
    return configuration;
}

void startClient(QSslSocket& socket, const QString& verifyName, const QByteArray& sessionTicket)
{
    socket.setSslConfiguration(sessionConfiguration(sessionTicket));
    socket.setPeerVerifyName(verifyName);
    socket.startClientEncryption();
}

bool socketDrained(const QAbstractSocket& socket)
{
#ifdef __linux__
    const int fd = int(socket.socketDescriptor());
    int unsent = 0;
    int unread = 0;
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &unsent) != 0 || ::ioctl(fd, FIONREAD, &unread) != 0)
        return true;
    return unsent == 0 && unread == 0;
#else
    Q_UNUSED(socket);
    return true;
#endif
}

void SslListener::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    addPendingConnection(socket);
}

}  // namespace harbel::tls

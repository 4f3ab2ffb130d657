#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

class QSslSocket;

namespace harbel::tessaly {

// Encrypts one connection of the FTP component, the control connection or a data connection, with
// Qt's TLS and the programs' shared client policy. The control connection refers a certificate that
// fails verification to its owner (certificateQuestion, answered with accept() or refuse()); the
// handshake waits meanwhile. A data connection resumes the control connection's session and must
// present the certificate the control connection settled on.
class TlsLayer final : public QObject {
    Q_OBJECT
public:
    // verifyName: the server's name as the user gave it; the certificate must be valid for it.
    TlsLayer(QSslSocket& socket, QString verifyName, QObject* parent = nullptr);

    void startControl();
    void startData(const QByteArray& sessionTicket, const QSslCertificate& settled);
    // The answer to certificateQuestion: go on despite the errors asked about, or end the connection.
    void accept();
    void refuse();

signals:
    void encrypted();
    // The handshake failed (the connection is over): why, in the socket's words.
    void failed(const QString& description);
    void certificateQuestion(const QSslCertificate& certificate, const QList<QSslError>& errors);

private:
    void onSslErrors(const QList<QSslError>& errors);
    void finish(const QString& failure);

    QSslSocket& socket_;
    QString verifyName_;
    QSslCertificate settled_;
    QList<QSslError> errors_;
    bool data_ = false;
    bool done_ = false;
};

}  // namespace harbel::tessaly

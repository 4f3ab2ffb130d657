#pragma once

#include <QByteArray>
#include <QString>

namespace harbel {

// The login of an http:// or https:// address ("user:password@host"), given to a server that asks
// for it with 401: Basic (RFC 7617) or Digest (RFC 7616: MD5 or SHA-256, with or without "-sess",
// qop "auth" or none), Digest when the server offers both. The login is never sent before the
// server asks, so a server that does not ask never sees it.
class HttpAuth final {
public:
    HttpAuth(QString user, QString password);

    // Takes the challenges of a 401 reply's head. False when none can be answered, or when the
    // same challenge was answered already (the server refused the login; a Digest challenge
    // marked stale is answered once more with its new nonce).
    bool challenge(const QByteArray& head);
    // The Authorization line, ending in CR LF, for a GET of target (the request's target as
    // sent); empty before a challenge was taken.
    QByteArray header(const QByteArray& method, const QByteArray& target);

private:
    enum class Scheme { None, Basic, Digest };

    QByteArray digestResponse(const QByteArray& method, const QByteArray& target);

    QString user_;
    QString password_;
    Scheme scheme_ = Scheme::None;
    int answers_ = 0;
    // Digest: the challenge's parameters and the count of requests made with its nonce.
    QByteArray realm_, nonce_, opaque_, algorithm_;
    bool qopAuth_ = false;
    bool sha256_ = false;
    bool session_ = false;
    quint32 nonceCount_ = 0;
};

}  // namespace harbel

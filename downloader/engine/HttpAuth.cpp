#include "downloader/engine/HttpAuth.h"

#include "downloader/engine/HttpText.h"

#include <QCryptographicHash>
#include <QList>
#include <QMap>
#include <QRandomGenerator>

namespace harbel {

namespace {

struct Challenge {
    QByteArray scheme;  // lower case
    QMap<QByteArray, QByteArray> params;  // names in lower case
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The challenges of one WWW-Authenticate value: "Scheme a=b, c="d", Other e=f".
QList<Challenge> parseChallenges(const QByteArray& v)
{
    QList<Challenge> challenges;
    const qsizetype n = v.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isBlank(v[i]) || v[i] == ','))
            ++i;
        const qsizetype start = i;
        while (i < n && !isBlank(v[i]) && v[i] != ',' && v[i] != '=')
            ++i;
        const QByteArray token = v.mid(start, i - start);
        if (token.isEmpty()) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && isBlank(v[j]))
            ++j;
        if (j >= n || v[j] != '=' || challenges.isEmpty()) {
            challenges.append({token.toLower(), {}});
            continue;
        }
        i = j + 1;
        while (i < n && isBlank(v[i]))
            ++i;
        QByteArray value;
        if (i < n && v[i] == '"') {
            for (++i; i < n && v[i] != '"'; ++i) {
                if (v[i] == '\\' && i + 1 < n)
                    ++i;
                if (quint8(v[i]) >= 0x20)  // nothing of a reply may end a line of a request
                    value += v[i];
            }
            ++i;
        } else {
            const qsizetype from = i;
            while (i < n && v[i] != ',')
                ++i;
            value = v.mid(from, i - from).trimmed();
        }
        challenges.last().params.insert(token.toLower(), value);
    }
    return challenges;
}

QByteArray quoted(const QByteArray& text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// How strongly a challenge would be answered: 0 when it cannot be.
int strength(const Challenge& c)
{
    if (c.scheme == "basic")
        return 1;
    if (c.scheme != "digest" || !c.params.contains("nonce"))
        return 0;
    const QByteArray algorithm = c.params.value("algorithm", "MD5").toUpper();
    if (algorithm != "MD5" && algorithm != "MD5-SESS" && algorithm != "SHA-256" && algorithm != "SHA-256-SESS")
        return 0;
    if (c.params.contains("qop")) {
        bool auth = false;
        for (const QByteArray& q : c.params.value("qop").split(','))
            auth = auth || q.trimmed().toLower() == "auth";
        if (!auth)
            return 0;  // only auth-int, which would need the body
    }
    return algorithm.startsWith("SHA-256") ? 3 : 2;
}

}  // namespace

HttpAuth::HttpAuth(QString user, QString password) : user_(std::move(user)), password_(std::move(password)) {}

bool HttpAuth::challenge(const QByteArray& head)
{
    const Challenge* best = nullptr;
    QList<Challenge> all;
    for (const QByteArray& value : headerFields(head, "WWW-Authenticate"))
        all += parseChallenges(value);
    for (const Challenge& c : all)
        if (strength(c) > 0 && (!best || strength(c) > strength(*best)))
            best = &c;
    if (!best)
        return false;
    const bool digest = best->scheme == "digest";
    if (answers_ > 0) {
        // Answered already: the login was refused, unless only the nonce had grown old.
        const bool stale = digest && best->params.value("stale").toLower() == "true";
        if (!stale || answers_ >= 3)
            return false;
    }
    ++answers_;
    scheme_ = digest ? Scheme::Digest : Scheme::Basic;
    if (digest) {
        realm_ = best->params.value("realm");
        nonce_ = best->params.value("nonce");
        opaque_ = best->params.value("opaque");
        algorithm_ = best->params.value("algorithm", "MD5");
        const QByteArray upper = algorithm_.toUpper();
        sha256_ = upper.startsWith("SHA-256");
        session_ = upper.endsWith("-SESS");
        qopAuth_ = best->params.contains("qop");
        nonceCount_ = 0;
    }
    return true;
}

QByteArray HttpAuth::header(const QByteArray& method, const QByteArray& target)
{
    switch (scheme_) {
    case Scheme::None:
        return {};
    case Scheme::Basic:
        return "Authorization: Basic " + (user_ + u':' + password_).toUtf8().toBase64() + "\r\n";
    case Scheme::Digest:
        return "Authorization: Digest " + digestResponse(method, target) + "\r\n";
    }
    return {};
}

QByteArray HttpAuth::digestResponse(const QByteArray& method, const QByteArray& target)
{
    const auto H = [this](const QByteArray& data) {
        return QCryptographicHash::hash(data, sha256_ ? QCryptographicHash::Sha256 : QCryptographicHash::Md5).toHex();
    };
    const QByteArray cnonce = QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0');
    const QByteArray nc = QByteArray::number(++nonceCount_, 16).rightJustified(8, '0');
    QByteArray ha1 = H(user_.toUtf8() + ':' + realm_ + ':' + password_.toUtf8());
    if (session_)
        ha1 = H(ha1 + ':' + nonce_ + ':' + cnonce);
    const QByteArray ha2 = H(method + ':' + target);
    const QByteArray response = qopAuth_ ? H(ha1 + ':' + nonce_ + ':' + nc + ':' + cnonce + ":auth:" + ha2)
                                         : H(ha1 + ':' + nonce_ + ':' + ha2);
    QByteArray out = "username=" + quoted(user_.toUtf8()) + ", realm=" + quoted(realm_) + ", nonce=" + quoted(nonce_)
                     + ", uri=" + quoted(target) + ", algorithm=" + algorithm_ + ", response=" + quoted(response);
    if (qopAuth_)
        out += ", qop=auth, nc=" + nc + ", cnonce=" + quoted(cnonce);
    if (!opaque_.isEmpty())
        out += ", opaque=" + quoted(opaque_);
    return out;
}

}  // namespace harbel

#include "ftpclient/window/KnownHostKeys.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMessageAuthenticationCode>

namespace harbel::tessaly {

namespace {

// A line's host pattern names the server: the name itself, or "|1|salt|hash" with the hash an
// HMAC-SHA1 of the name keyed by the salt. Wildcard patterns are not followed.
bool names(const QString& pattern, const QString& name)
{
    if (!pattern.startsWith(QLatin1String("|1|")))
        return pattern.compare(name, Qt::CaseInsensitive) == 0;
    const QStringList parts = pattern.split(u'|');
    if (parts.size() != 4)
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
    const QByteArray hash = QByteArray::fromBase64(parts[3].toLatin1());
    return QMessageAuthenticationCode::hash(name.toUtf8(), salt, QCryptographicHash::Sha1) == hash;
}

}  // namespace

QString KnownHostKeys::defaultPath()
{
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}

QStringList KnownHostKeys::listedFor(const QString& path, const QString& host, quint16 port)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString name = port == 22 ? host : QStringLiteral("[%1]:%2").arg(host).arg(port);
    QStringList keys;
    // A known hosts file is small; a huge one is read no further than this.
    constexpr qint64 kLongest = 4 * 1024 * 1024;
    const QList<QByteArray> lines = file.read(kLongest).split('\n');
    for (const QByteArray& raw : lines) {
        const QStringList fields = QString::fromUtf8(raw).simplified().split(u' ', Qt::SkipEmptyParts);
        // Markers (@revoked, @cert-authority) name keys of another kind.
        if (fields.size() < 3 || fields[0].startsWith(u'#') || fields[0].startsWith(u'@'))
            continue;
        bool named = false;
        for (const QString& pattern : fields[0].split(u','))
            named = named || names(pattern, name);
        if (!named)
            continue;
        const QByteArray blob = QByteArray::fromBase64(fields[2].toLatin1());
        QByteArray fingerprint = QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toBase64(QByteArray::OmitTrailingEquals);
        keys << fields[1] + QStringLiteral(" SHA256:") + QString::fromLatin1(fingerprint);
    }
    return keys;
}

}  // namespace harbel::tessaly

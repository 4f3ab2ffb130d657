#include "ftpclient/component/IniCertificateTrust.h"

#include "common/platform/IniFile.h"

namespace harbel::tessaly {

namespace {

const QString kSection = QStringLiteral("Trusted");

QString key(const QString& host, quint16 port)
{
    return host.trimmed().toLower() + u':' + QString::number(port);
}

}  // namespace

QString IniCertificateTrust::fingerprintFor(const QString& host, quint16 port) const
{
    return IniFile(path_).value(kSection, key(host, port));
}

bool IniCertificateTrust::trustAlways(const QString& host, quint16 port, const QString& fingerprint)
{
    return IniFile(path_).writeString(kSection, key(host, port), fingerprint);
}

}  // namespace harbel::tessaly

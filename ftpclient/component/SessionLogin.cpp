#include "ftpclient/component/SessionLogin.h"

#include "common/net/TlsTrust.h"
#include "ftpclient/component/ControlChannel.h"
#include "ftpclient/component/FtpComponent.h"

namespace harbel::tessaly {

void SessionLogin::applyTo(FtpComponent& ftp) const
{
    ftp.Host = host;
    ftp.Port = port;
    ftp.User = user;
    ftp.Password = password;
    ftp.Passive = passive;
    ftp.UseTls = tls;
    ftp.ProxyKind = proxyKind;
    ftp.ProxyHost = proxyHost;
    ftp.ProxyPort = proxyPort;
    ftp.ProxyUser = proxyUser;
    ftp.ProxyPassword = proxyPassword;
    ftp.TimeoutSeconds = timeoutSeconds;
    ftp.TransferMode = transferMode == 1 ? 1 : 0;
    ftp.KeepFileTimes = keepFileTimes;
    ftp.ListingOption = listingOption;
}

SessionLogin SessionLogin::from(const FtpComponent& ftp)
{
    SessionLogin login;
    login.host = ftp.Host;
    login.port = ftp.Port;
    login.user = ftp.User;
    login.password = ftp.Password;
    login.passive = ftp.Passive;
    login.tls = ftp.UseTls;
    login.proxyKind = ftp.ProxyKind;
    login.proxyHost = ftp.ProxyHost;
    login.proxyPort = ftp.ProxyPort;
    login.proxyUser = ftp.ProxyUser;
    login.proxyPassword = ftp.ProxyPassword;
    login.timeoutSeconds = ftp.TimeoutSeconds;
    login.transferMode = ftp.TransferMode;
    login.keepFileTimes = ftp.KeepFileTimes;
    login.listingOption = ftp.ListingOption;
    login.trust = ftp.certificateTrust();
    if (ftp.UseTls && ftp.State() != FtpComponent::NotConnected) {
        const QSslCertificate certificate = ftp.control_->connector().peerCertificate();
        if (!certificate.isNull())
            login.acceptedFingerprint = tls::fingerprint(certificate);
    }
    return login;
}

int SessionLogin::modeFor(const QString& fileName) const
{
    if (transferMode != 2)
        return transferMode == 1 ? 1 : 0;
    const QString name = fileName.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // The list's entries are compared as they are stored: one written in capitals never matches.
    const QString extension = dot >= 0 ? name.mid(dot + 1).toLower() : QString();
    return !extension.isEmpty() && asciiTypes.contains(extension) ? 1 : 0;
}

bool SessionLogin::sameAccount(const SessionLogin& o) const
{
    return host == o.host && port == o.port && user == o.user && password == o.password && passive == o.passive && tls == o.tls
        && proxyKind == o.proxyKind && proxyHost == o.proxyHost && proxyPort == o.proxyPort && proxyUser == o.proxyUser
        && proxyPassword == o.proxyPassword && listingOption == o.listingOption;
}

}  // namespace harbel::tessaly

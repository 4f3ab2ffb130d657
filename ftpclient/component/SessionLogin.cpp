#include "ftpclient/component/SessionLogin.h"

#include "common/net/TlsTrust.h"
#include "ftpclient/component/ControlChannel.h"
#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/SftpComponent.h"

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

void SessionLogin::applyTo(SftpComponent& sftp) const
{
    sftp.Host = host;
    sftp.Port = port;
    sftp.User = user;
    sftp.Password = password;
    sftp.IdentityFile = identityFile;
    sftp.Passphrase = passphrase;
    sftp.KnownHostsFile = knownHostsFile;
    sftp.TimeoutSeconds = timeoutSeconds;
    sftp.KeepFileTimes = keepFileTimes;
}

SessionLogin SessionLogin::from(const SftpComponent& sftp)
{
    SessionLogin login;
    login.sftp = true;
    login.host = sftp.Host;
    login.port = sftp.Port;
    login.user = sftp.User;
    login.password = sftp.Password;
    login.identityFile = sftp.IdentityFile;
    login.passphrase = sftp.Passphrase;
    login.knownHostsFile = sftp.KnownHostsFile;
    login.timeoutSeconds = sftp.TimeoutSeconds;
    login.keepFileTimes = sftp.KeepFileTimes;
    if (sftp.State() != SftpComponent::NotConnected)
        login.acceptedFingerprint = sftp.HostKeyFingerprint();
    return login;
}

SessionLogin SessionLogin::of(const RemoteSession& session)
{
    if (const auto* sftp = qobject_cast<const SftpComponent*>(&session))
        return from(*sftp);
    return from(static_cast<const FtpComponent&>(session));
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
    return sftp == o.sftp && host == o.host && port == o.port && user == o.user && password == o.password && passive == o.passive && tls == o.tls
        && identityFile == o.identityFile && knownHostsFile == o.knownHostsFile
        && proxyKind == o.proxyKind && proxyHost == o.proxyHost && proxyPort == o.proxyPort && proxyUser == o.proxyUser
        && proxyPassword == o.proxyPassword && listingOption == o.listingOption;
}

}  // namespace harbel::tessaly

#pragma once

#include "common/platform/SecretStore.h"
#include "ftpclient/config/ClientSettings.h"

#include <QString>

namespace harbel::tessaly {

// The firewall (SOCKS proxy) part of the FTP client's settings, as the options dialog edits it and
// as a session uses it.
struct FirewallSettings {
    bool use = false;
    QString host;
    QString port = QStringLiteral("1080");
    QString user;
    QString password;
    // "SOCKS 4"; anything else is SOCKS 5.
    QString type;
    // A password was typed but is not at hand in this run (not saved, or in a keyring this session
    // cannot read): the window asks for it at the first connection.
    bool passwordMissing = false;

    static FirewallSettings load()
    {
        FirewallSettings f;
        f.use = vb::Val(setting(QStringLiteral("Firewall Use"), QStringLiteral("0"))) == 1;
        f.host = setting(QStringLiteral("Firewall Host Name"), QString());
        f.user = setting(QStringLiteral("Firewall User Name"), QString());
        const QString stored = setting(QStringLiteral("Firewall Password"), QString());
        f.password = SecretStore::instance().find(passwordEntry(), stored);
        f.passwordMissing = (SecretStore::isMarker(stored) || SecretStore::isAskedMarker(stored)) && f.password.isEmpty();
        // An older version kept it here in plain text: it moves to the keyring.
        if (SecretStore::instance().migrate(passwordEntry(), stored))
            saveSetting(QStringLiteral("Firewall Password"), SecretStore::marker());
        f.type = setting(QStringLiteral("Firewall Type"), QString());
        f.port = setting(QStringLiteral("Firewall Proxy Port"), QStringLiteral("1080"));
        return f;
    }

    static QString passwordEntry()
    {
        return SecretStore::entryName(QStringLiteral("Tessaly"), QStringLiteral("firewall"), QStringLiteral("password"));
    }

    // The proxy kind of the FTP component: 0 none, 4 SOCKS 4, 5 SOCKS 5.
    int kind() const { return !use ? 0 : type == QLatin1String("SOCKS 4") ? 4 : 5; }
    // The proxy port, 0 when the text is not a port.
    quint16 portNumber() const
    {
        const auto n = vb::toWhole(port);
        return n && *n > 0 && *n < 65536 ? quint16(*n) : 0;
    }
};

}  // namespace harbel::tessaly

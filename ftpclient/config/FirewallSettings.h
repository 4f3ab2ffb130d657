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
    // What the settings hold in the password's place: the marker of a kept password, which
    // takePassword() replaces with the keyring's answer.
    QString storedPassword;
    // A password was typed but is not at hand in this run (not saved, or in a keyring this session
    // cannot read): the window asks for it at the first connection.
    bool passwordMissing = false;

    // Everything, the kept password too: waits for the keyring.
    static FirewallSettings load()
    {
        FirewallSettings f = values();
        // An older version kept it here in plain text: it moves to the keyring.
        if (SecretStore::instance().migrate(passwordEntry(), f.storedPassword))
            saveSetting(QStringLiteral("Firewall Password"), SecretStore::marker());
        f.takePassword(SecretStore::instance().find(passwordEntry(), f.storedPassword));
        return f;
    }

    // Everything but a kept password, which the window asks of the keyring with passwordEntry() and
    // storedPassword (SecretStore::findLater()); nothing here waits for the keyring.
    static FirewallSettings loadUnread()
    {
        FirewallSettings f = values();
        const bool older = !f.storedPassword.isEmpty() && !SecretStore::isMarker(f.storedPassword)
            && !SecretStore::isAskedMarker(f.storedPassword);
        if (older)
            SecretStore::instance().keepLater(passwordEntry(), f.storedPassword, nullptr, [](SecretStore::Kept kept) {
                if (kept != SecretStore::Kept::NotKept)
                    saveSetting(QStringLiteral("Firewall Password"), SecretStore::marker());
            });
        // What this run was given for a password asked at each use is at hand.
        f.takePassword(SecretStore::isMarker(f.storedPassword) ? QString() : SecretStore::instance().find(passwordEntry(), f.storedPassword));
        return f;
    }

    static FirewallSettings values()
    {
        FirewallSettings f;
        f.use = vb::Val(setting(QStringLiteral("Firewall Use"), QStringLiteral("0"))) == 1;
        f.host = setting(QStringLiteral("Firewall Host Name"), QString());
        f.user = setting(QStringLiteral("Firewall User Name"), QString());
        f.storedPassword = setting(QStringLiteral("Firewall Password"), QString());
        f.type = setting(QStringLiteral("Firewall Type"), QString());
        f.port = setting(QStringLiteral("Firewall Proxy Port"), QStringLiteral("1080"));
        return f;
    }

    void takePassword(const QString& found)
    {
        password = found;
        passwordMissing = (SecretStore::isMarker(storedPassword) || SecretStore::isAskedMarker(storedPassword)) && found.isEmpty();
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

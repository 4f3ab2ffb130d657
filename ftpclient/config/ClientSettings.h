#pragma once

#include "common/platform/CRegister.h"
#include "common/support/VbText.h"

#include <QString>

namespace harbel::tessaly {

// The FTP client's settings key and the titles of its message boxes, shared by its main window and
// its dialogs.
inline const QString kSettingsKey = QStringLiteral("\\Software\\Korvane\\FTP4.0\\");
inline const QString kConfirm = QStringLiteral("FTP Client[Confirm]");
inline const QString kQuery = QStringLiteral("FTP Client[Query]");
inline const QString kNotice = QStringLiteral("FTP Client[Notice]");
inline const QString kErrorTitle = QStringLiteral("FTP Client[Error]");
inline const QString kClientTitle = QStringLiteral("FTP Client");

// A text value of the client's settings.
inline QString setting(const QString& name, const QString& defaultText)
{
    return cRegister().REGGetSetting(HKEY_LOCAL_MACHINE, kSettingsKey, name, defaultText);
}

inline bool saveSetting(const QString& name, const QString& value)
{
    return cRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, kSettingsKey, name, value);
}

inline bool settingFlag(const QString& name, const QString& defaultText)
{
    return vb::toBool(setting(name, defaultText)).value_or(false);
}

// Connections the transfer queue moves files on at once (the option "TRANSFER CONNECTIONS").
inline constexpr int kDefaultTransferConnections = 2;
inline constexpr int kMaxTransferConnections = 10;
inline int transferConnections()
{
    bool ok = false;
    const int n = setting(QStringLiteral("TRANSFER CONNECTIONS"), QString::number(kDefaultTransferConnections)).trimmed().toInt(&ok);
    return ok ? qBound(1, n, kMaxTransferConnections) : kDefaultTransferConnections;
}

}  // namespace harbel::tessaly

#pragma once

#include "common/platform/RegistryStore.h"

#include <QString>
#include <QStringList>

namespace harbel {

// The two roots the programs use.
enum RegRoot { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

QString regRootName(RegRoot root);

// Registry wrapper of both programs. It holds no state between calls: callers create one, make a
// call or two and drop it. A key path may begin and end with one backslash, which is dropped; the
// value name "*" means the key's default value. No call raises: failures come back as false, the
// default text or an empty list.
class CRegister final {
public:
    CRegister();
    explicit CRegister(RegistryStore store);

    QString REGGetSetting(RegRoot root, const QString& path, const QString& valueName,
                          const QString& defaultText) const;
    bool REGSaveSetting(RegRoot root, const QString& path, const QString& valueName,
                        const QString& value);
    // An empty value name deletes the key itself (refused while it has subkeys).
    bool REGDeleteSetting(RegRoot root, const QString& path, const QString& valueName);
    QStringList GetAllKeys(RegRoot root, const QString& path) const;

    // "ROOT\path" with one leading and one trailing backslash of path dropped.
    static QString fullKey(RegRoot root, const QString& path);

private:
    RegistryStore store_;
};

// The FTP client's copy of the wrapper.
using cRegister = CRegister;

// Creates or opens the key and sets a text value.
bool WriteReg(RegRoot root, const QString& keyPath, const QString& valueName, const QString& data);

}  // namespace harbel

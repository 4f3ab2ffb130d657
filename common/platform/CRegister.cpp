#include "common/platform/CRegister.h"

namespace harbel {

namespace {

QString storedName(const QString& valueName)
{
    return valueName == QLatin1String("*") ? QString() : valueName;
}

}  // namespace

QString regRootName(RegRoot root)
{
    return root == HKEY_CURRENT_USER ? QStringLiteral("HKEY_CURRENT_USER")
                                     : QStringLiteral("HKEY_LOCAL_MACHINE");
}

CRegister::CRegister() : store_(RegistryStore::defaultPath()) {}

CRegister::CRegister(RegistryStore store) : store_(std::move(store)) {}

QString CRegister::fullKey(RegRoot root, const QString& path)
{
    QString p = path;
    if (p.startsWith(u'\\'))
        p.remove(0, 1);
    if (p.endsWith(u'\\'))
        p.chop(1);
    return p.isEmpty() ? regRootName(root) : regRootName(root) + u'\\' + p;
}

QString CRegister::REGGetSetting(RegRoot root, const QString& path, const QString& valueName,
                                 const QString& defaultText) const
{
    const auto v = store_.value(fullKey(root, path), storedName(valueName));
    if (!v || !v->hasData)
        return defaultText;
    return v->data;
}

bool CRegister::REGSaveSetting(RegRoot root, const QString& path, const QString& valueName,
                               const QString& value)
{
    return store_.setValue(fullKey(root, path), storedName(valueName), value);
}

bool CRegister::REGDeleteSetting(RegRoot root, const QString& path, const QString& valueName)
{
    const QString key = fullKey(root, path);
    if (valueName.isEmpty())
        return store_.deleteKey(key);
    return store_.deleteValue(key, storedName(valueName));
}

QStringList CRegister::GetAllKeys(RegRoot root, const QString& path) const
{
    QStringList names;
    for (const QString& n : store_.subKeys(fullKey(root, path)))
        names.append(n.left(255));
    return names;
}

bool WriteReg(RegRoot root, const QString& keyPath, const QString& valueName, const QString& data)
{
    return CRegister().REGSaveSetting(root, keyPath, valueName, data);
}

}  // namespace harbel

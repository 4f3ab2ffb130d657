#include "common/platform/AutoStart.h"

#include "common/platform/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace harbel::AutoStart {

namespace {

// A file name made from the entry name: no "/" and no leading dot, so it stays in the folder.
QString fileName(const QString& name)
{
    QString n = name;
    n.replace(u'/', u'_');
    while (n.startsWith(u'.'))
        n.remove(0, 1);
    if (n.isEmpty())
        n = QStringLiteral("entry");
    return n + QStringLiteral(".desktop");
}

// Quoting of the Exec key of the desktop entry format.
QString execQuoted(const QString& program)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        out += c;
    }
    out += u'"';
    // The format also treats "\" specially at the level of the whole value.
    out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return out;
}

QString oneLine(QString s)
{
    s.replace(u'\n', u' ');
    s.replace(u'\r', u' ');
    return s;
}

}  // namespace

QString folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart");
}

QString entryPath(const QString& name)
{
    return folder() + u'/' + fileName(name);
}

bool add(const QString& name, const QString& program)
{
    if (!QDir().mkpath(folder()))
        return false;
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(oneLine(name), oneLine(execQuoted(program)));
    const QByteArray bytes = text.toUtf8();
    return PrivateFile::write(entryPath(name), bytes, PrivateFile::Access::Shared) == PrivateFile::Result::Written;
}

bool remove(const QString& name)
{
    const QString p = entryPath(name);
    return !QFile::exists(p) || QFile::remove(p);
}

bool contains(const QString& name)
{
    return QFile::exists(entryPath(name));
}

}  // namespace harbel::AutoStart

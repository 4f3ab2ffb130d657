#include "common/ui/Icons.h"

#include <QFile>
#include <QGuiApplication>
#include <QPixmap>

namespace harbel::Icons {

namespace {

// Outside ":/harbel", which seeds the application folder: the icons are not the user's to edit.
QString resourcePath(const QString& name)
{
    return QStringLiteral(":/harbel-icons/%1.svg").arg(name);
}

}  // namespace

bool ships(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && QFile::exists(resourcePath(name));
}

QIcon icon(const QString& name)
{
    return ships(name) ? QIcon(resourcePath(name)) : QIcon::fromTheme(name);
}

QIcon trayIcon(const QString& image)
{
    if (image.isEmpty()) {
        const QIcon own = QGuiApplication::windowIcon();
        return own.isNull() ? icon(QStringLiteral("folder-download")) : own;
    }
    if (ships(image))
        return icon(image);
    QIcon file(image);
    if (file.isNull() || file.availableSizes().isEmpty()) {
        // Not an icon file: take the picture scaled to 32 x 32.
        const QPixmap picture(image);
        if (!picture.isNull())
            file = QIcon(picture.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    if (file.isNull())
        file = QIcon::fromTheme(image);
    return file.isNull() ? icon(QStringLiteral("folder-download")) : file;
}

void setApplicationIcon(const QString& program)
{
    QGuiApplication::setWindowIcon(icon(program));
    QGuiApplication::setDesktopFileName(program);
}

}  // namespace harbel::Icons

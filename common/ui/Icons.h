#pragma once

#include <QIcon>
#include <QString>

namespace harbel::Icons {

// The icon called name (a freedesktop icon name such as "list-add", as the toolbar file and the
// tray name them, or one of our own: "pellanor", "tessaly", "row-queued"...): the drawing that
// ships with the programs when there is one, else the desktop theme's icon of that name. Our own
// drawings win so that both windows look the same whatever the desktop's theme is.
QIcon icon(const QString& name);

// True when an icon of that name ships with the programs.
bool ships(const QString& name);

// The tray's picture: an icon name, an icon or picture file (a picture is scaled to 32 x 32), or
// nothing, which is the application's own icon.
QIcon trayIcon(const QString& image);

// Sets the program's icon for all its windows and the name of its desktop entry ("pellanor",
// "tessaly"), so the desktop shows the entry's name and icon for the running program.
void setApplicationIcon(const QString& program);

}  // namespace harbel::Icons

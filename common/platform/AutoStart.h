#pragma once

#include <QString>

namespace harbel::AutoStart {

// The desktop's start-up list (the freedesktop autostart folder, $XDG_CONFIG_HOME/autostart).
// An entry is a "<name>.desktop" file that starts the program at log-in.
QString folder();
QString entryPath(const QString& name);
bool add(const QString& name, const QString& program);
bool remove(const QString& name);
bool contains(const QString& name);

}  // namespace harbel::AutoStart

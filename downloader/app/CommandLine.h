#pragma once

#include <QString>
#include <QStringList>

namespace harbel {

// What pellanor was asked to do on its command line.
struct PellanorOptions {
    enum class Mode { Window, Help, Version, Error };
    Mode mode = Mode::Window;
    QString error;  // for Mode::Error
};

PellanorOptions parsePellanorArguments(const QStringList& arguments);
QString pellanorUsage();

}  // namespace harbel

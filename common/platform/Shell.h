#pragma once

#include <QString>
#include <QStringList>

namespace harbel {

// What the desktop shell does for the programs: open a file or folder with its usual program,
// show a file's folder, and start the other program of the suite. Tests put a recording shell in
// its place.
class Shell {
public:
    virtual ~Shell() = default;
    // Opens a file, folder or address with the desktop's default program ("Open" verb).
    virtual bool open(const QString& pathOrUrl) = 0;
    // Starts a program detached; false when it could not be started.
    virtual bool start(const QString& program, const QStringList& arguments = {}) = 0;

    static Shell& instance();
    static void setInstance(Shell* shell);

    // The executable of one of the suite's programs ("pellanor", "tessaly") beside this one, or, for
    // a program in the suite's folder of private programs, in the folder of programs.
    static QString suiteProgram(const QString& name);
};

// Opens through xdg-open and starts programs with QProcess.
class DesktopShell final : public Shell {
public:
    bool open(const QString& pathOrUrl) override;
    bool start(const QString& program, const QStringList& arguments = {}) override;
};

}  // namespace harbel

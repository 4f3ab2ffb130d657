#pragma once

#include "common/controls/Control.h"

#include <QHash>
#include <QList>

namespace harbel {

// One entry of the toolbar: a button raising a command, a toggle raising one command when it goes
// down and another when it comes up, or a separator.
struct ToolbarButton {
    QString caption;
    QString command;     // "IDC_FS_..."
    QString offCommand;  // toggles only: raised when the button comes up
    QString icon;        // a theme icon name
    bool separator = false;
    bool checkable() const { return !offCommand.isEmpty(); }
};

// The toolbar of both main windows. It is loaded from a description file holding one section per
// program ([DM], [FTP]); the variable "_root.Program" picks the section shown. Its buttons raise
// FSCommand with "IDC_FS_" command texts; the programs write variables into it
// ("_root.Connected", "_root.status_txt.text", "_root.Progress_mc._xscale") that the view shows.
//
// A description line is  N=Caption|IDC_FS_Command[/IDC_FS_OffCommand]|icon-name  or  N=-  for a
// separator, N counting up from 1.
class MovieToolbar final : public Control {
    Q_OBJECT
public:
    MovieToolbar(Form& form, QString name);

    bool LoadMovie(const QString& file);
    const QString& movieFile() const { return file_; }

    // The buttons of the section that "_root.Program" names.
    QList<ToolbarButton> buttons() const;

    void SetVariable(const QString& name, const QString& value);
    QString GetVariable(const QString& name) const { return variables_.value(name); }

    // A press of the button with this command (a toggle passes whether it is now down).
    void press(const QString& command, bool down = true);

    bool canRefresh() const override { return true; }

signals:
    void FSCommand(const QString& command, const QString& args);
    void variableChanged(const QString& name, const QString& value);

private:
    QString file_;
    QHash<QString, QList<ToolbarButton>> sections_;  // keyed by upper-case program name
    QHash<QString, QString> variables_;
};

}  // namespace harbel

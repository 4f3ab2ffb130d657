#include "common/controls/MovieToolbar.h"

#include "common/platform/IniFile.h"

namespace harbel {

MovieToolbar::MovieToolbar(Form& form, QString name) : Control(form, std::move(name), ControlKind::Picture) {}

bool MovieToolbar::LoadMovie(const QString& file)
{
    sections_.clear();
    file_ = file;
    // One read of the file: a lookup per button reads it whole each time, which a long file
    // would turn into a stall.
    const QList<IniFile::Section> contents = IniFile(file).contents();
    for (const IniFile::Section& section : contents) {
        const QString program = section.name.toUpper();
        if (sections_.contains(program))
            continue;  // the first section of a name is the one a lookup finds
        QHash<QString, QString> values;
        for (const auto& [key, value] : section.values)
            if (!values.contains(key.toUpper()))
                values.insert(key.toUpper(), value);
        QList<ToolbarButton> list;
        for (int n = 1;; ++n) {
            const auto found = values.constFind(QString::number(n));
            if (found == values.cend())
                break;
            const QString& line = *found;
            ToolbarButton b;
            if (line.trimmed() == QLatin1String("-")) {
                b.separator = true;
            } else {
                const QStringList parts = line.split(u'|');
                b.caption = parts.value(0).trimmed();
                const QStringList commands = parts.value(1).split(u'/');
                b.command = commands.value(0).trimmed();
                b.offCommand = commands.value(1).trimmed();
                b.icon = parts.value(2).trimmed();
                if (!b.command.startsWith(QLatin1String("IDC_FS_")))
                    continue;  // not a command this toolbar can raise
            }
            list.append(b);
        }
        sections_.insert(program, list);
    }
    notify();
    return !sections_.isEmpty();
}

QList<ToolbarButton> MovieToolbar::buttons() const
{
    return sections_.value(GetVariable(QStringLiteral("_root.Program")).toUpper());
}

void MovieToolbar::SetVariable(const QString& name, const QString& value)
{
    if (variables_.value(name) == value && variables_.contains(name))
        return;
    variables_.insert(name, value);
    emit variableChanged(name, value);
    if (name == QLatin1String("_root.Program"))
        notify();
}

void MovieToolbar::press(const QString& command, bool down)
{
    for (const ToolbarButton& b : buttons()) {
        if (b.separator || b.command != command)
            continue;
        emit FSCommand(b.checkable() && !down ? b.offCommand : b.command, QString());
        return;
    }
}

}  // namespace harbel

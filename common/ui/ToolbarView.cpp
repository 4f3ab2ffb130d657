#include "common/ui/ToolbarView.h"

#include "common/controls/MovieToolbar.h"
#include "common/ui/Icons.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>

namespace harbel {

ToolbarView::ToolbarView(MovieToolbar& model, QWidget* parent) : QToolBar(parent), model_(model)
{
    setObjectName(model.name());
    setMovable(false);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    connect(&model_, &Control::changed, this, &ToolbarView::rebuild);
    connect(&model_, &MovieToolbar::variableChanged, this, &ToolbarView::showVariable);
    rebuild();
}

void ToolbarView::rebuild()
{
    clear();
    for (const ToolbarButton& b : model_.buttons()) {
        if (b.separator) {
            addSeparator();
            continue;
        }
        QAction* a = addAction(Icons::icon(b.icon), b.caption);
        a->setObjectName(b.command);
        if (b.checkable()) {
            a->setCheckable(true);
            // "Show" toggles start down: what they show is visible when the window opens.
            a->setChecked(b.command.startsWith(QLatin1String("IDC_FS_Show")));
            connect(a, &QAction::toggled, this, [this, cmd = b.command](bool down) { model_.press(cmd, down); });
        } else {
            connect(a, &QAction::triggered, this, [this, cmd = b.command] { model_.press(cmd); });
        }
    }
    addSeparator();
    connected_ = new QLabel(this);
    status_ = new QLabel(this);
    status_->setMinimumWidth(200);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setMaximumWidth(120);
    progress_->setTextVisible(false);
    addWidget(connected_);
    addWidget(status_);
    addWidget(progress_);
    for (const char* v : {"_root.Connected", "_root.status_txt.text", "_root.Progress_mc._xscale"})
        showVariable(QLatin1String(v), model_.GetVariable(QLatin1String(v)));
}

void ToolbarView::showVariable(const QString& name, const QString& value)
{
    if (name == QLatin1String("_root.Connected") && connected_)
        connected_->setText(value == QLatin1String("1") ? tr("● Connected") : tr("○ Not connected"));
    else if (name == QLatin1String("_root.status_txt.text") && status_)
        status_->setText(value);
    else if (name == QLatin1String("_root.Progress_mc._xscale") && progress_)
        progress_->setValue(qBound(0, int(value.toDouble()), 100));
}

}  // namespace harbel

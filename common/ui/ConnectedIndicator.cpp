#include "common/ui/ConnectedIndicator.h"

#include "common/controls/MovieToolbar.h"

namespace harbel {

namespace {
const QString kConnected = QStringLiteral("_root.Connected");
}  // namespace

ConnectedIndicator::ConnectedIndicator(MovieToolbar& model, QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("connectedIndicator"));
    connect(&model, &MovieToolbar::variableChanged, this, [this](const QString& name, const QString& value) {
        if (name == kConnected)
            showValue(value);
    });
    showValue(model.GetVariable(kConnected));
}

void ConnectedIndicator::showValue(const QString& value)
{
    const bool on = value == QLatin1String("1");
    setText(on ? tr("Connected") : tr("Not connected"));
    setToolTip(on ? tr("A connection to a server is open.") : tr("No connection to a server is open."));
}

}  // namespace harbel

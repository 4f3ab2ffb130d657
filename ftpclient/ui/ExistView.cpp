#include "ftpclient/ui/ExistView.h"

#include "ftpclient/window/TessalyExist.h"
#include "ftpclient/ui/TessalyBindings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace harbel::tessaly {

ExistView::ExistView(frmExist& form, QWidget* parent) : QDialog(parent), form_(form)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    auto* layout = new QVBoxLayout(this);
    for (Label* label : {&form.lblWarning, &form.lblDestination, &form.lblSource}) {
        auto* l = new QLabel(this);
        ui::bindLabel(l, *label);
        layout->addWidget(l);
    }
    auto* all = new QCheckBox(form.chkAll.Caption(), this);
    all->setChecked(form.chkAll.Value() == 1);
    connect(all, &QCheckBox::toggled, this, [&form](bool on) { form.chkAll.setValue(on ? 1 : 0); });
    layout->addWidget(all);
    auto* row = new QHBoxLayout;
    const auto button = [&](Button& control, std::function<void()> click) {
        auto* b = new QPushButton(this);
        ui::bindButton(b, control, std::move(click));
        row->addWidget(b);
    };
    button(form.cmdOverwrite, [&form] { form.cmdOverwrite_Click(); });
    button(form.cmdResume, [&form] { form.cmdResume_Click(); });
    button(form.cmdSkip, [&form] { form.cmdSkip_Click(); });
    button(form.cmdCancel, [&form] { form.cmdCancel_Click(); });
    layout->addLayout(row);
}

void ExistView::done(int result)
{
    // Every way out (a button, Esc, the close button) keeps the window's place.
    form_.Form_Unload(geometry());
    QDialog::done(result);
}

}  // namespace harbel::tessaly

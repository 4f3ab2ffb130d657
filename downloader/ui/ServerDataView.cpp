#include "downloader/ui/ServerDataView.h"

#include "common/support/Skin.h"
#include "common/ui/SkinApplier.h"
#include "downloader/window/frmServerData.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace harbel {

ServerDataView::ServerDataView(frmServerData& form, QWidget* parent) : QWidget(parent), form_(form)
{
    setObjectName(form.name());
    auto* top = new QVBoxLayout(this);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(form.txtServerData.name());
    text_->setReadOnly(true);
    top->addWidget(text_, 1);
    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton(form.cmdCopyClip.Caption(), this);
    copy->setObjectName(form.cmdCopyClip.name());
    connect(copy, &QPushButton::clicked, this, [&form] { form.cmdCopyClip_Click(); });
    auto* exit = new QPushButton(form.cmdExit.Caption(), this);
    exit->setObjectName(form.cmdExit.name());
    connect(exit, &QPushButton::clicked, this, [&form] { form.cmdExit_Click(); });
    buttons->addWidget(copy);
    buttons->addStretch();
    buttons->addWidget(exit);
    top->addLayout(buttons);

    const auto sync = [this] {
        setWindowTitle(form_.Caption());
        if (text_->toPlainText() != form_.txtServerData.Text())
            text_->setPlainText(form_.txtServerData.Text());
        applySkin(*this, form_, Skin::shared());
    };
    connect(&form, &Form::changed, this, sync);
    connect(&form.txtServerData, &Control::changed, this, sync);
    connect(&form, &Form::shown, this, [this, sync] {
        sync();
        show();
        raise();
    });
    connect(&form, &Form::hidden, this, &QWidget::hide);
    resize(520, 360);
    sync();
    if (form.Visible())
        show();
}

ServerDataView& ServerDataView::ensure()
{
    static ServerDataView* view = new ServerDataView(frmServerData::shared());
    return *view;
}

void ServerDataView::closeEvent(QCloseEvent* event)
{
    if (form_.Visible())
        form_.Unload();
    event->accept();
}

}  // namespace harbel

#include "downloader/ui/DownloadWindowView.h"

#include "common/support/LangString.h"
#include "common/support/Skin.h"
#include "common/ui/Bindings.h"
#include "common/ui/SkinApplier.h"
#include "downloader/window/frmDownload.h"
#include "downloader/window/frmServerData.h"
#include "downloader/ui/ServerDataView.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace harbel {

namespace {

// The job's boxes show what it fills in; the user does not type into them.
QLineEdit* textFor(TextBox& box, QWidget* parent)
{
    auto* w = new QLineEdit(parent);
    w->setReadOnly(true);
    bindControl(w, box, [w, &box] {
        if (w->text() != box.Text())
            w->setText(box.Text());
    });
    return w;
}

QString text(const char* code, const char* english)
{
    return GetLangString(QString::fromLatin1(code), QString::fromLatin1(english));
}

}  // namespace

DownloadWindowView::DownloadWindowView(frmDownload& job, QWidget* parent) : QWidget(parent), job_(job)
{
    setObjectName(job.name());
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* top = new QVBoxLayout(this);

    auto* address = new QFormLayout;
    address->addRow(text("19020", "URL:"), textFor(job.txtURL, this));
    address->addRow(text("19021", "Save To:"), textFor(job.txtSaveTo, this));
    top->addLayout(address);

    auto* facts = new QFormLayout;
    facts->addRow(text("19022", "Status:"), labelFor(job.lblStatus, this));
    facts->addRow(text("19023", "File Size:"), labelFor(job.lblFileSize, this));
    facts->addRow(text("19024", "Received:"), labelFor(job.lblRecievedSize, this));
    facts->addRow(text("19025", "Transfer Rate:"), labelFor(job.lblTransferRate, this));
    facts->addRow(text("19026", "Time Remaining:"), labelFor(job.lblTimeRemaining, this));
    facts->addRow(text("19027", "Elapsed Time:"), labelFor(job.lblElapsedTime, this));
    top->addLayout(facts);

    auto* notes = new QHBoxLayout;
    notes->addWidget(labelFor(job.lblResume, this));
    notes->addStretch();
    notes->addWidget(labelFor(job.lblTimer, this));
    top->addLayout(notes);

    auto* progress = new QHBoxLayout;
    progress->addWidget(barFor(job.ProgressBar1, this), 1);
    progress->addWidget(labelFor(job.lblPer, this));
    top->addLayout(progress);
    auto* segments = new QHBoxLayout;
    for (auto& bar : job.PVProgressBar)
        segments->addWidget(barFor(*bar, this));
    top->addLayout(segments);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(buttonFor(job.cmdPause, this, [&job] { job.cmdPause_Click(); }));
    buttons->addWidget(buttonFor(job.cmdStop, this, [&job] { job.cmdStop_Click(); }));
    buttons->addStretch();
    buttons->addWidget(buttonFor(job.cmdOpen, this, [&job] { job.cmdOpen_Click(); }));
    buttons->addWidget(buttonFor(job.cmdGotoDir, this, [&job] { job.cmdGotoDir_Click(); }));
    top->addLayout(buttons);

    auto* extras = new QHBoxLayout;
    auto* more = buttonFor(job.cmdMore, this, [&job] { job.cmdMore_Click(); });
    extras->addWidget(more);
    extras->addStretch();
    // The skin's own button that sends the window to the notification area.
    auto* tray = new QPushButton(text("19110", "Tray"), this);
    tray->setObjectName(QStringLiteral("Tray"));
    connect(tray, &QPushButton::clicked, this, [&job] { job.Skin1_Click(QStringLiteral("Tray")); });
    extras->addWidget(tray);
    extras->addWidget(buttonFor(job.cmdHide, this, [&job] { job.cmdHide_Click(); }));
    top->addLayout(extras);

    moreMenu_ = new QMenu(this);
    moreMenu_->setObjectName(QStringLiteral("mnuMore"));
    QAction* serverData = moreMenu_->addAction(job.interactdata_mnu);
    serverData->setObjectName(QStringLiteral("interactdata_mnu"));
    connect(serverData, &QAction::triggered, this, [&job] {
        ServerDataView::ensure();
        job.interactdata_mnu_Click();
    });
    connect(&job, &frmDownload::moreMenuRequested, this,
            [this, more] { moreMenu_->popup(more->mapToGlobal(QPoint(0, more->height()))); });

    connect(&job, &Form::changed, this, &DownloadWindowView::syncForm);
    connect(&job, &Form::shown, this, &QWidget::show);
    connect(&job, &Form::hidden, this, &QWidget::hide);
    resize(460, 300);
    syncForm();
}

void DownloadWindowView::syncForm()
{
    setWindowTitle(job_.Caption());
    applySkin(*this, job_, Skin::shared());
}

void DownloadWindowView::closeEvent(QCloseEvent* event)
{
    // Closing the window stops its transfer; the job keeps its slot for the next download.
    if (job_.Visible())
        job_.Unload();
    event->accept();
}

}  // namespace harbel

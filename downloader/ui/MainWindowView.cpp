#include "downloader/ui/MainWindowView.h"

#include "downloader/main/frmDir.h"
#include "downloader/main/frmExist.h"
#include "downloader/main/frmMain.h"
#include "downloader/ui/DownloadDialogs.h"
#include "downloader/ui/SettingsDialogView.h"
#include "downloader/ui/DownloadWindowView.h"

#include "common/support/LangString.h"
#include "common/support/Skin.h"
#include "common/ui/ConnectedIndicator.h"
#include "common/ui/Icons.h"
#include "common/ui/ListViewWidget.h"
#include "common/ui/QtPrompts.h"
#include "common/ui/SkinApplier.h"
#include "common/ui/ToolbarView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QSystemTrayIcon>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

namespace harbel {

namespace {

QIcon rowIcon(int smallIcon)
{
    return Icons::icon(smallIcon == DownloadRow::kCompleteIcon ? QStringLiteral("row-completed") : QStringLiteral("row-queued"));
}

QAction* addItem(QMenu* menu, const QString& text, std::function<void()> action)
{
    QAction* a = menu->addAction(text);
    QObject::connect(a, &QAction::triggered, menu, std::move(action));
    return a;
}

}  // namespace

PellanorMainWindowView::PellanorMainWindowView(frmMain& form, QWidget* parent) : QMainWindow(parent), form_(form)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption().isEmpty() ? form.sProgramTitle : form.Caption());
    setAcceptDrops(true);

    toolbar_ = new ToolbarView(form.Flash, this);
    addToolBar(toolbar_);

    auto* central = new QSplitter(Qt::Vertical, this);
    queue_ = new ListViewWidget(form.lstMain, central, rowIcon);
    completed_ = new ListViewWidget(form.lstComplete, central, rowIcon);
    // The file's name, not its folder, is what tells one row from another; the address takes the
    // width the window has to spare.
    for (ListViewWidget* list : {queue_, completed_}) {
        list->showFileNames(DownloadRow::Filename);
        list->stretchColumn(DownloadRow::URL);
    }
    central->addWidget(queue_);
    central->addWidget(completed_);
    central->setStretchFactor(0, 185);
    central->setStretchFactor(1, 145);
    setCentralWidget(central);
    connect(queue_, &ListViewWidget::contextMenu, this, &PellanorMainWindowView::showQueueMenu);
    connect(completed_, &ListViewWidget::contextMenu, this, &PellanorMainWindowView::showCompletedMenu);
    const auto follow = [this] {
        queue_->setVisible(form_.lstMain.Visible());
        completed_->setVisible(form_.lstComplete.Visible());
    };
    connect(&form.lstMain, &Control::changed, this, follow);
    connect(&form.lstComplete, &Control::changed, this, follow);
    follow();

    rate_ = new QLabel(this);
    note_ = new QLabel(this);
    statusBar()->addWidget(rate_);
    statusBar()->addWidget(note_, 1);
    statusBar()->addPermanentWidget(new ConnectedIndicator(form.Flash, this));
    connect(&form.StatusBar, &Control::changed, this, [this] {
        rate_->setText(form_.StatusBar.PanelText(0));
        note_->setText(form_.StatusBar.PanelText(1));
    });

    buildMenus();

    connect(&form, &Form::changed, this, &PellanorMainWindowView::syncForm);
    connect(&form, &Form::hidden, this, &QWidget::hide);
    connect(&form, &Form::shown, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(&form, &frmMain::raiseRequested, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(&form, &frmMain::dragRequested, this, [this] {
        if (windowHandle())
            windowHandle()->startSystemMove();
    });
    connect(&form.Tray1, &Tray::RightClick, this, &PellanorMainWindowView::showTrayMenu);
    connect(&form, &frmMain::modelessRequested, this, [this](Form* shown) {
        if (shown != &form_.URLForm)
            return;
        auto* dialog = new URLDialogView(form_.URLForm, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setModal(false);
        // The form hides itself once it has taken the address; closing the window is giving up.
        connect(&form_.URLForm, &Form::hidden, dialog, &QDialog::close);
        connect(dialog, &QDialog::rejected, &form_.URLForm, &Form::Hide);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    connect(&form.windows, &DownloadWindows::windowMade, this, [this](frmDownload* job) {
        auto* view = new DownloadWindowView(*job, this);
        view->setWindowFlag(Qt::Window);
        if (job->Visible())
            view->show();
    });

    resize(900, 600);
    syncForm();
}

PellanorMainWindowView::~PellanorMainWindowView() = default;

void PellanorMainWindowView::syncForm()
{
    if (!form_.Caption().isEmpty())
        setWindowTitle(form_.Caption());
    if (form_.WindowState() == 1 && !isMinimized())
        showMinimized();
    applySkin(*this, form_, Skin::shared());
}

void PellanorMainWindowView::buildMenus()
{
    frmMain& f = form_;
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addItem(file, QStringLiteral("Add URL"), [&f] { f.Add_mnu_Click(); });
    addItem(file, QStringLiteral("Open the FTP Client"), [&f] { f.launchFtpClient(); });
    file->addSeparator();
    addItem(file, QStringLiteral("Exit"), [&f] { f.exit_mnu_Click(); });

    // The toolbar's toggles and its way to the tray, so that each button is also a menu item.
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    addItem(view, QStringLiteral("Minimize"), [&f] { f.Flash_FSCommand(QStringLiteral("IDC_FS_minimize")); });
    view->addSeparator();
    toolbar_->mirrorInMenu(view, {QStringLiteral("IDC_FS_ShowB"), QStringLiteral("IDC_FS_ShowC"), QStringLiteral("IDC_FS_tray")});

    QMenu* downloads = menuBar()->addMenu(QStringLiteral("&Downloads"));
    addItem(downloads, QStringLiteral("Re-Download"), [&f] { f.mnuReDownload_Click(); });
    downloads->addSeparator();
    addItem(downloads, QStringLiteral("Pause All"), [&f] { f.PauseAll(); });
    addItem(downloads, QStringLiteral("Resume All"), [&f] { f.ResumeAll(); });
    addItem(downloads, QStringLiteral("Stop All"), [&f] { f.StopAll(); });

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    addItem(options, QStringLiteral("Schedule"), [&f] { f.mnuSchedule_Click(); });
    addItem(options, QStringLiteral("Settings"), [&f] { f.settings_mnu_Click(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addItem(help, QStringLiteral("About"), [&f] { f.About_mnu_Click(); });
    addItem(help, QStringLiteral("User's Guide"), [&f] { f.UserGuide_mnu_Click(); });
}

void PellanorMainWindowView::showQueueMenu(const QPoint& globalPos)
{
    frmMain& f = form_;
    QMenu menu(this);
    addItem(&menu, QStringLiteral("Refresh"), [&f] { f.refresh_qmnu_Click(); });
    addItem(&menu, QStringLiteral("Clear Queue"), [&f] { f.clear_qmnu_Click(); });
    addItem(&menu, QStringLiteral("Select All"), [&f] { f.selectall_qmnu_Click(); });
    addItem(&menu, QStringLiteral("De-Select All"), [&f] { f.deselectall_qmnu_Click(); });
    menu.addSeparator();
    addItem(&menu, QStringLiteral("Re-Download URL..."), [&f] { f.mnuReDownload_Click(); });
    addItem(&menu, QStringLiteral("Remove Selection"), [&f] { f.removeselection_qmnu_Click(); });
    menu.exec(globalPos);
}

void PellanorMainWindowView::showCompletedMenu(const QPoint& globalPos)
{
    frmMain& f = form_;
    QMenu menu(this);
    addItem(&menu, QStringLiteral("Remove selection"), [&f] { f.mnuComPopRemoveSel_Click(); });
    addItem(&menu, QStringLiteral("Remove All"), [&f] { f.mnuComPopRemoveAll_Click(); });
    menu.addSeparator();
    addItem(&menu, QStringLiteral("Re-Download URL..."), [&f] { f.mnuComPopRedown_Click(); });
    menu.exec(globalPos);
}

void PellanorMainWindowView::showTrayMenu()
{
    frmMain& f = form_;
    QMenu menu;
    addItem(&menu, QStringLiteral("Show Download Status"), [&f] { f.showstatus_traymnu_Click(); });
    menu.addSeparator();
    QMenu* tools = menu.addMenu(QStringLiteral("Tools"));
    addItem(tools, QStringLiteral("Enter URL"), [&f] { f.enterurl_traymnu_Click(); });
    addItem(tools, QStringLiteral("Settings..."), [&f] { f.settings_mnu_Click(); });
    menu.addSeparator();
    addItem(&menu, QStringLiteral("Pause All"), [&f] { f.PauseAll(); });
    addItem(&menu, QStringLiteral("Resume All"), [&f] { f.ResumeAll(); });
    menu.addSeparator();
    addItem(&menu, QStringLiteral("Close"), [&f] { f.closeVantor_traymnu_Click(); });
    menu.exec(QCursor::pos());
}

void PellanorMainWindowView::closeEvent(QCloseEvent* event)
{
    // The user's own close puts the window into the tray while its icon is there; without the
    // icon it ends the program, asking while downloads run. The program's end (a signal, a quit)
    // does neither.
    if (event->spontaneous() && form_.closeToTray(QSystemTrayIcon::isSystemTrayAvailable())) {
        hide();  // also when the form did not know itself shown
        event->ignore();
        return;
    }
    if (event->spontaneous() && !form_.Form_QueryUnload()) {
        event->ignore();
        return;
    }
    form_.Form_Unload();
    event->accept();
}

void PellanorMainWindowView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasText() || event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void PellanorMainWindowView::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    const QString text = data->hasUrls() ? data->urls().value(0).toString() : data->text();
    event->acceptProposedAction();
    form_.lstMain_OLEDragDrop(text);
}

void registerPellanorDialogs(QtPrompts& prompts, frmMain& form, QWidget* owner)
{
    prompts.registerView(QStringLiteral("frmURL"), [](Form& f, QWidget* parent) -> QDialog* {
        return new URLDialogView(static_cast<frmURL&>(f), parent);
    });
    prompts.registerView(QStringLiteral("frmExist"), [](Form& f, QWidget* parent) -> QDialog* {
        return new ExistDialogView(static_cast<frmExist&>(f), parent);
    });
    prompts.registerView(QStringLiteral("frmSchedule"), [](Form& f, QWidget* parent) -> QDialog* {
        return new ScheduleDialogView(static_cast<frmSchedule&>(f), parent);
    });
    prompts.registerView(QStringLiteral("frmSettings"), [](Form& f, QWidget* parent) -> QDialog* {
        return new SettingsDialogView(static_cast<frmSettings&>(f), parent);
    });
    prompts.registerView(QStringLiteral("frmDir"), [](Form& f, QWidget* parent) -> QDialog* {
        return new DirDialogView(static_cast<frmDir&>(f), parent);
    });
    new FileDialogView(form.FileForm, owner);
    new FilesDialogView(form.FilesForm, owner);
}

}  // namespace harbel

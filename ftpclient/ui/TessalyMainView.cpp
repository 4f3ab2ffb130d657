#include "ftpclient/ui/TessalyMainView.h"

#include "common/support/Skin.h"
#include "common/ui/SkinApplier.h"
#include "common/ui/ConnectedIndicator.h"
#include "common/ui/ToolbarView.h"
#include "ftpclient/window/TessalyMain.h"
#include "ftpclient/ui/QueuePanelView.h"
#include "ftpclient/ui/TessalyBindings.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QTimer>
#include <QWindow>

namespace harbel {

using namespace tessaly;
using namespace tessaly::ui;
using Pane = frmMain::Pane;
using PaneCommand = frmMain::PaneCommand;

TessalyMainWindowView::TessalyMainWindowView(QWidget* parent)
    : QMainWindow(parent), owned_(std::make_unique<frmMain>()), form_(*owned_)
{
    build();
}

TessalyMainWindowView::TessalyMainWindowView(frmMain& form, QWidget* parent) : QMainWindow(parent), form_(form)
{
    build();
}

TessalyMainWindowView::~TessalyMainWindowView()
{
    if (waitCursor_)
        QApplication::restoreOverrideCursor();
}

void TessalyMainWindowView::closeEvent(QCloseEvent* event)
{
    form_.Form_Unload();
    event->accept();
}

void TessalyMainWindowView::build()
{
    frmMain& f = form_;
    setWindowTitle(f.Caption().isEmpty() ? f.sProgramTitle : f.Caption());
    // The size and place of the last session, kept when the program ends.
    if (!restoreGeometry(f.WindowGeometry()))
        resize(1180, 760);
    connect(&f, &frmMain::unloading, this, [this] { form_.setWindowGeometry(saveGeometry()); });
    connect(&f, &frmMain::raiseRequested, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(&f, &Form::changed, this, [this] {
        if (!form_.Caption().isEmpty())
            setWindowTitle(form_.Caption());
        if (form_.WindowState() == 1 && !isMinimized())
            showMinimized();
    });
    connect(&f, &Form::hidden, this, &QWidget::hide);
    connect(&f, &Form::shown, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(&f, &frmMain::dragRequested, this, [this] {
        if (windowHandle())
            windowHandle()->startSystemMove();
    });
    connect(&f, &frmMain::mousePointerChanged, this, [this](int pointer) {
        const bool wait = pointer == 11;
        if (wait && !waitCursor_)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (!wait && waitCursor_)
            QApplication::restoreOverrideCursor();
        waitCursor_ = wait;
    });
    connect(&f, &frmMain::popupMenuRequested, this, [this] {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(QStringLiteral("Restore"), this, [this] {
            form_.Show();
            form_.setWindowState(0);
        });
        menu->addAction(QStringLiteral("Exit"), this, [this] { form_.Form_Unload(); });
        menu->popup(QCursor::pos());
    });
    applySkin(*this, f, Skin::shared());

    buildMenus();
    buildToolbar();

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);

    // Quick Connect.
    auto* quick = new QGroupBox(f.frameQuickConnect.Caption(), central);
    auto* q = new QHBoxLayout(quick);
    auto addField = [&](const QString& label, TextBox& box, int width, bool secret = false) {
        q->addWidget(new QLabel(label, quick));
        auto* edit = new QLineEdit(quick);
        edit->setMinimumWidth(width);
        if (width <= 60)
            edit->setMaximumWidth(width + 20);  // a port needs five digits, no more
        if (secret)
            edit->setEchoMode(QLineEdit::Password);
        bindText(edit, box);
        connect(edit, &QLineEdit::returnPressed, this, [&f] {
            if (f.cmdQConnect.Enabled())
                f.cmdQConnect_Click();
        });
        q->addWidget(edit, width > 100 ? 2 : width > 60 ? 1 : 0);
    };
    // Minimum widths the row can always give at the window's least width: a row wider than its
    // room draws its fields over their labels.
    auto* protocol = new QComboBox(quick);
    protocol->setToolTip(QStringLiteral("The protocol of the server: FTP, FTP over TLS, or SFTP (SSH)"));
    bindChoice(protocol, f.cboQProtocol, [&f] { f.cboQProtocol_Click(); });
    q->addWidget(protocol);
    addField(QStringLiteral("Address:"), f.txtQaddress, 110);
    addField(QStringLiteral("Port:"), f.txtQport, 50);
    addField(QStringLiteral("User:"), f.txtQuser, 80);
    addField(QStringLiteral("Password:"), f.txtQpassword, 80, true);
    auto* tls = new QCheckBox(f.chkQTls.Caption(), quick);
    tls->setObjectName(f.chkQTls.name());
    tls->setToolTip(QStringLiteral("Explicit FTP over TLS: the login and every transfer are encrypted"));
    auto syncTls = [tls, &f] { tls->setChecked(f.chkQTls.Value() == 1); };
    connect(&f.chkQTls, &Control::changed, tls, syncTls);
    connect(tls, &QCheckBox::clicked, tls, [&f](bool on) { f.chkQTls.setValue(on ? 1 : 0); });
    syncTls();
    // Enabled and tool tip follow the control (greyed over SFTP, with the reason).
    bindControl(tls, f.chkQTls, [tls, &f] {
        tls->setToolTip(f.chkQTls.ToolTipText().isEmpty() ? QStringLiteral("Explicit FTP over TLS: the login and every transfer are encrypted")
                                                           : f.chkQTls.ToolTipText());
    });
    q->addWidget(tls);
    auto* passive = new QCheckBox(f.chkQPassive.Caption(), quick);
    passive->setObjectName(f.chkQPassive.name());
    passive->setToolTip(QStringLiteral("Passive mode: the client opens the data connections, as routers and firewalls allow"));
    auto syncPassive = [passive, &f] { passive->setChecked(f.chkQPassive.Value() == 1); };
    connect(&f.chkQPassive, &Control::changed, passive, syncPassive);
    connect(passive, &QCheckBox::clicked, passive, [&f](bool on) { f.chkQPassive.setValue(on ? 1 : 0); });
    syncPassive();
    bindControl(passive, f.chkQPassive, [passive, &f] {
        passive->setToolTip(f.chkQPassive.ToolTipText().isEmpty()
                                ? QStringLiteral("Passive mode: the client opens the data connections, as routers and firewalls allow")
                                : f.chkQPassive.ToolTipText());
    });
    q->addWidget(passive);
    auto* qconnect = new QPushButton(quick);
    bindButton(qconnect, f.cmdQConnect, [&f] { f.cmdQConnect_Click(); });
    q->addWidget(qconnect);
    q->addSpacing(8);
    auto* binary = new QRadioButton(quick);
    auto* ascii = new QRadioButton(quick);
    auto* autoMode = new QRadioButton(quick);
    binary->setAutoExclusive(false);
    ascii->setAutoExclusive(false);
    autoMode->setAutoExclusive(false);
    bindOption(binary, f.optBinary, [&f] { f.optBinary_Click(); });
    bindOption(ascii, f.optAscii, [&f] { f.optAscii_Click(); });
    bindOption(autoMode, f.optAuto, [&f] { f.optAuto_Click(); });
    q->addWidget(binary);
    q->addWidget(ascii);
    q->addWidget(autoMode);
    bindControl(quick, f.frameQuickConnect);
    outer->addWidget(quick);

    // The two panes.
    auto* lists = new QSplitter(Qt::Horizontal, central);
    auto pane = [&](const QString& title, Pane side, ComboBox& combo, ListView& list, Button& up, std::function<void()> choose,
                    std::function<void()> enter, std::function<void()> upClick, std::function<void()> dbl,
                    std::function<void()> selection, MenuItem& menu) {
        auto* box = new QGroupBox(title, lists);
        auto* v = new QVBoxLayout(box);
        auto* row = new QHBoxLayout;
        auto* path = new QComboBox(box);
        path->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        bindCombo(path, combo, std::move(choose), std::move(enter));
        auto* upButton = new QPushButton(box);
        upButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
        bindButton(upButton, up, std::move(upClick));
        row->addWidget(path);
        row->addWidget(upButton);
        v->addLayout(row);
        auto* view = new FileListWidget(list, box);
        view->setObjectName(list.name());
        connect(view, &FileListWidget::activated, this, std::move(dbl));
        connect(view, &FileListWidget::selectionChanged, this, std::move(selection));
        connect(view, &FileListWidget::columnClicked, this, [&f, side](int column) {
            if (side == Pane::Remote)
                f.lstRemoteFileList_ColumnClick(column);
            else
                f.lstLocalFileList_ColumnClick(column);
        });
        const std::pair<QKeyCombination, PaneCommand> keys[] = {
            {Qt::Key_Return, PaneCommand::Open},       {Qt::Key_Enter, PaneCommand::Open},
            {Qt::Key_Backspace, PaneCommand::Up},      {Qt::Key_Delete, PaneCommand::Delete},
            {Qt::Key_F2, PaneCommand::Rename},         {Qt::Key_F5, PaneCommand::Refresh},
            {Qt::CTRL | Qt::Key_R, PaneCommand::Refresh},
        };
        for (const auto& [key, command] : keys)
            view->addKeyCommand(key, [&f, side, command] { f.RunPaneCommand(side, command); });
        connect(view, &FileListWidget::contextMenuWanted, this, [this, &menu](const QPoint& at) {
            if (!menu.Enabled())
                return;
            for (QMenu* m : menuBar()->findChildren<QMenu*>()) {
                if (m->objectName() == menu.name()) {
                    m->popup(at);
                    return;
                }
            }
        });
        v->addWidget(view);
        return box;
    };
    lists->addWidget(pane(QStringLiteral("Local"), Pane::Local, f.cboLocalPath, f.lstLocalFileList, f.cmdUpLocal,
                          [&f] { f.cboLocalPath_Click(); }, [&f] { f.cboLocalPath_KeyPress(13); }, [&f] { f.cmdUpLocal_Click(); },
                          [&f] { f.lstLocalFileList_DblClick(); }, [&f] { f.UpdateLocalCommands(); }, f.miLocal));
    auto* middle = new QWidget(lists);
    auto* m = new QVBoxLayout(middle);
    m->addStretch();
    auto* send = new QPushButton(middle);
    bindButton(send, f.cmdSend, [&f] { f.movToolbar_FSCommand(QStringLiteral("IDC_FS_Upload")); });
    auto* receive = new QPushButton(middle);
    bindButton(receive, f.cmdReceive, [&f] { f.DownloadSelection(); });
    m->addWidget(send);
    m->addWidget(receive);
    m->addStretch();
    lists->addWidget(middle);
    lists->addWidget(pane(QStringLiteral("Remote"), Pane::Remote, f.cboRemotePath, f.lstRemoteFileList, f.cmdUpFtp,
                          [&f] { f.cboRemotePath_Click(); }, [&f] { f.cboRemotePath_KeyPress(13); }, [&f] { f.cmdUpFtp_Click(); },
                          [&f] { f.lstRemoteFileList_DblClick(); }, [&f] { f.UpdateRemoteCommands(); }, f.miRemote));
    lists->setStretchFactor(0, 1);
    lists->setStretchFactor(2, 1);
    // Rows dragged from one pane and dropped on the other are sent there.
    auto* localPane = lists->findChild<FileListWidget*>(f.lstLocalFileList.name());
    auto* remotePane = lists->findChild<FileListWidget*>(f.lstRemoteFileList.name());
    // Tab moves between the two lists.
    localPane->setTabTarget(remotePane);
    remotePane->setTabTarget(localPane);
    acceptDrops(remotePane, localPane, [&f] { f.UploadSelection(); });
    acceptDrops(localPane, remotePane, [&f] { f.DownloadSelection(); });
    // While a command changes the remote folder under the list (a delete, a synchronisation), a
    // frozen copy of the list and of its path stands in their place.
    if (QWidget* box = remotePane->parentWidget(); auto* boxLayout = qobject_cast<QVBoxLayout*>(box->layout())) {
        auto* frozen = new FileListWidget(f.lstDel, box);
        frozen->setObjectName(f.lstDel.name());
        boxLayout->insertWidget(boxLayout->indexOf(remotePane) + 1, frozen);
        auto* path = box->findChild<QComboBox*>();
        auto* frozenPath = new QComboBox(box);
        frozenPath->setEnabled(false);
        if (auto* row = boxLayout->itemAt(0)->layout())
            qobject_cast<QBoxLayout*>(row)->insertWidget(1, frozenPath, 1);
        auto sync = [&f, frozen, remotePane, path, frozenPath] {
            const bool on = f.lstDel.Visible();
            frozen->setVisible(on);
            remotePane->setVisible(!on);
            frozenPath->setVisible(on);
            if (path)
                path->setVisible(!on);
            frozenPath->clear();
            frozenPath->addItem(f.cmbDel.Text());
        };
        connect(&f.lstDel, &Control::changed, this, sync);
        connect(&f.cmbDel, &Control::changed, this, sync);
        sync();
    }
    bindControl(lists, f.FrameMainLists);
    outer->addWidget(lists, 3);
    // The transfer queue under the two panes.
    outer->addWidget(new QueuePanelView(f.queuePanel(), central), 2);

    // Custom command.
    auto* command = new QGroupBox(f.frameCustomCommand.Caption(), central);
    auto* c = new QHBoxLayout(command);
    auto* commandEdit = new QLineEdit(command);
    bindText(commandEdit, f.txtCommand);
    connect(commandEdit, &QLineEdit::returnPressed, this, [&f] { f.txtCommand_KeyPress(13); });
    connect(&f, &frmMain::focusRequested, commandEdit, [&f, commandEdit](Control* control) {
        if (control == &f.txtCommand)
            commandEdit->setFocus();
    });
    auto* close = new QPushButton(command);
    bindButton(close, f.cmdCloseCommand, [&f] { f.cmdCloseCommand_Click(); });
    c->addWidget(commandEdit);
    c->addWidget(close);
    bindControl(command, f.frameCustomCommand);
    outer->addWidget(command);

    // Connection log.
    auto* logBox = new QGroupBox(f.frameLog.Caption(), central);
    auto* l = new QVBoxLayout(logBox);
    auto* log = new QListWidget(logBox);
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    log->setFont(QFont(QStringLiteral("monospace"), font().pointSize()));
    bindLog(log, f.lstConnectionInfo);
    l->addWidget(log);
    bindControl(logBox, f.frameLog);
    outer->addWidget(logBox, 1);
    setCentralWidget(central);

    // Status line.
    auto* status = new QLabel(statusBar());
    bindLabel(status, f.lblStatus);
    auto* progress = new QProgressBar(statusBar());
    progress->setMaximumWidth(220);
    bindProgress(progress, f.prgStatus);
    statusBar()->addWidget(status, 1);
    statusBar()->addPermanentWidget(progress);
}

namespace {

// Drops on one pane of rows dragged from the other. A pane takes no drop of its own rows.
class PaneDrops final : public QObject {
public:
    PaneDrops(QWidget* source, std::function<void()> onDrop, QObject* parent)
        : QObject(parent), source_(source), onDrop_(std::move(onDrop))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return QObject::eventFilter(watched, event);
        auto* drop = static_cast<QDropEvent*>(event);
        if (!fromSource(drop->source())) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // The command runs after the drag's own event loop has ended: it may ask questions.
        if (type == QEvent::Drop)
            QTimer::singleShot(0, this, onDrop_);
        return true;
    }

private:
    bool fromSource(QObject* object) const
    {
        for (; object; object = object->parent())
            if (object == source_)
                return true;
        return false;
    }

    QWidget* source_;
    std::function<void()> onDrop_;
};

}  // namespace

void TessalyMainWindowView::acceptDrops(QWidget* target, QWidget* source, std::function<void()> onDrop)
{
    auto* filter = new PaneDrops(source, std::move(onDrop), target);
    for (QAbstractItemView* view : target->findChildren<QAbstractItemView*>()) {
        view->setDragEnabled(true);
        view->setDragDropMode(QAbstractItemView::DragDrop);
        view->setDefaultDropAction(Qt::CopyAction);
        view->setAcceptDrops(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(filter);
    }
}

void TessalyMainWindowView::buildMenus()
{
    frmMain& f = form_;
    auto add = [this](QMenu* menu, const QString& text, Control* control, std::function<void()> run) {
        QAction* a = menu->addAction(text);
        if (control)
            bindAction(a, *control, std::move(run));
        else
            connect(a, &QAction::triggered, this, std::move(run));
        return a;
    };
    auto cmd = [&f](const char* command) { return [&f, command] { f.movToolbar_FSCommand(QLatin1String(command)); }; };

    // Keys of the whole window; those of one list (Enter, Backspace, Delete, F2, F5) are named in
    // the menus but belong to the list with the focus.
    auto keys = [](QAction* a, const QKeySequence& shortcut) { a->setShortcut(shortcut); };
    auto label = [](QAction* a, const QString& key) { a->setText(a->text() + QLatin1Char('\t') + key); };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    keys(add(file, f.mnuFileConnect.Caption(), &f.mnuFileConnect, [&f] { f.ConnectToSite(); }), Qt::CTRL | Qt::Key_N);
    keys(add(file, QStringLiteral("Quick Connect"), &f.cmdQConnect, [&f] { f.cmdQConnect_Click(); }), Qt::CTRL | Qt::Key_Q);
    keys(add(file, f.mnuFileDisconnect.Caption(), &f.mnuFileDisconnect, [&f] { f.CloseSession(); }), Qt::CTRL | Qt::Key_D);
    keys(add(file, f.cmdAbort.Caption(), &f.cmdAbort, [&f] { f.Abort(); }), Qt::Key_Escape);
    file->addSeparator();
    keys(add(file, QStringLiteral("Start the Download Manager"), nullptr, cmd("IDC_FS_launchDM")), Qt::CTRL | Qt::Key_M);
    add(file, f.mnuFileExit.Caption(), &f.mnuFileExit, [&f] { f.Form_Unload(); });

    QMenu* remote = menuBar()->addMenu(QStringLiteral("&Remote"));
    remote->setObjectName(f.miRemote.name());
    connect(&f.miRemote, &Control::changed, remote, [remote, &f] { remote->setEnabled(f.miRemote.Enabled()); });
    remote->setEnabled(f.miRemote.Enabled());
    label(add(remote, QStringLiteral("Download"), &f.cmdReceive, [&f] { f.DownloadSelection(); }), QStringLiteral("Enter"));
    label(add(remote, QStringLiteral("Go Up"), nullptr, [&f] { f.cmdUpFtp_Click(); }), QStringLiteral("Backspace"));
    label(add(remote, QStringLiteral("Refresh"), nullptr, cmd("IDC_FS_RemoteRefresh")), QStringLiteral("F5"));
    keys(add(remote, QStringLiteral("Go to Folder..."), nullptr, [&f] { f.mnuRemoteGoToRemoteDirectory_Click(); }), Qt::CTRL | Qt::Key_G);
    remote->addSeparator();
    label(add(remote, f.miDeleteRemoteFile.Caption(), &f.miDeleteRemoteFile, [&f] { f.DeleteRemoteSelection(); }), QStringLiteral("Del"));
    label(add(remote, f.miRenameRemoteFile.Caption(), &f.miRenameRemoteFile, [&f] { f.RenameRemoteItem(); }), QStringLiteral("F2"));
    add(remote, QStringLiteral("Create Folder"), nullptr, [&f] { f.CreateRemoteFolder(); });
    add(remote, QStringLiteral("Move File(s) / Folder(s)"), nullptr, [&f] { f.MoveRemoteSelection(); });
    add(remote, QStringLiteral("Manual File Receive"), nullptr, [&f] { f.ManualReceive(); });
    add(remote, QStringLiteral("Manual File Send"), nullptr, [&f] { f.ManualSend(); });
    QMenu* commands = remote->addMenu(f.mnuRemoteFtpCommands.Caption());
    // The submenu itself is disabled: its entry in the Remote menu follows the submenu's own
    // enabled state, which enabling the Remote menu would otherwise give back.
    const auto syncCommands = [commands, &f] { commands->setEnabled(f.mnuRemoteFtpCommands.Enabled()); };
    connect(&f.mnuRemoteFtpCommands, &Control::changed, commands, syncCommands);
    syncCommands();
    // What SFTP cannot do says so where the menu shows it.
    const auto showTip = [](QAction* action, Control& control) {
        const auto sync = [action, &control] { action->setToolTip(control.ToolTipText()); };
        connect(&control, &Control::changed, action, sync);
        sync();
    };
    remote->setToolTipsVisible(true);
    showTip(commands->menuAction(), f.mnuRemoteFtpCommands);
    add(commands, QStringLiteral("CWD"), nullptr, [&f] { f.mnuRemoteFtpCommandsCwd_Click(); });
    add(commands, QStringLiteral("HELP"), nullptr, [&f] { f.mnuRemoteFtpCommandsHelp_Click(); });
    add(commands, QStringLiteral("LIST"), nullptr, [&f] { f.mnuRemoteFtpCommandsList_Click(); });
    add(commands, QStringLiteral("NLST"), nullptr, [&f] { f.mnuRemoteFtpCommandsNlst_Click(); });
    add(commands, QStringLiteral("PWD"), nullptr, [&f] { f.mnuRemoteFtpCommandsPwd_Click(); });
    add(commands, QStringLiteral("QUOTE"), nullptr, [&f] { f.mnuRemoteFtpCommandsQuote_Click(); });
    add(commands, QStringLiteral("RETR"), nullptr, [&f] { f.ManualReceive(); });
    add(commands, QStringLiteral("STOR"), nullptr, [&f] { f.ManualSend(); });
    add(commands, QStringLiteral("SYST"), nullptr, [&f] { f.mnuRemoteFtpCommandsSyst_Click(); });
    QAction* sendCommand = add(remote, f.mnuRemoteSendCommand.Caption(), &f.mnuRemoteSendCommand, [&f] { f.mnuRemoteSendCommand_Click(); });
    keys(sendCommand, Qt::CTRL | Qt::Key_K);
    showTip(sendCommand, f.mnuRemoteSendCommand);
    add(remote, QStringLiteral("Synchronize Directory"), nullptr, [&f] { f.mnuDirSyncDown_Click(); });
    remote->addSeparator();
    add(remote, QStringLiteral("All Files (*.*)"), nullptr, [&f] { f.mnuRemoteFilterAll_Click(); });
    add(remote, QStringLiteral("Define Types (*.?)"), nullptr, [&f] { f.mnuRemoteFilterDefineTypes_Click(); });
    QMenu* remoteView = remote->addMenu(QStringLiteral("View"));
    add(remoteView, QStringLiteral("Large Icons"), nullptr, [&f] { f.SetRemoteView(0); });
    add(remoteView, QStringLiteral("Small Icons"), nullptr, [&f] { f.SetRemoteView(1); });
    add(remoteView, QStringLiteral("List"), nullptr, [&f] { f.SetRemoteView(2); });
    add(remoteView, QStringLiteral("Details"), nullptr, [&f] { f.SetRemoteView(3); });

    QMenu* local = menuBar()->addMenu(QStringLiteral("&Local"));
    local->setObjectName(f.miLocal.name());
    add(local, QStringLiteral("Upload"), &f.cmdSend, cmd("IDC_FS_Upload"));
    add(local, QStringLiteral("Synchronize Directory"), nullptr, [&f] { f.mnuSyncDirUp_Click(); });
    label(add(local, QStringLiteral("Go Up"), nullptr, [&f] { f.cmdUpLocal_Click(); }), QStringLiteral("Backspace"));
    label(add(local, QStringLiteral("Refresh"), nullptr, [&f] { f.RefreshLocalList(); }), QStringLiteral("F5"));
    add(local, QStringLiteral("Open"), nullptr, [&f] { f.mnuLocalOpenFile_Click(); });
    add(local, QStringLiteral("Properties"), nullptr, [&f] { f.mnuLocalProperties_Click(); });
    add(local, QStringLiteral("Find Files..."), nullptr, [&f] { f.mnuLocalFindFiles_Click(); });
    local->addSeparator();
    label(add(local, f.miDeleteLocalFile.Caption(), &f.miDeleteLocalFile, [&f] { f.miDeleteLocalFile_Click(); }), QStringLiteral("Del"));
    add(local, QStringLiteral("Move to Trash"), nullptr, [&f] { f.mnuLocalDeleteFileToRecycleBin_Click(); });
    label(add(local, f.miRenameLocalFile.Caption(), &f.miRenameLocalFile, [&f] { f.miRenameLocalFile_Click(); }), QStringLiteral("F2"));
    add(local, f.miCreateLocalFolder.Caption(), &f.miCreateLocalFolder, [&f] { f.miCreateLocalFolder_Click(); });
    local->addSeparator();
    add(local, QStringLiteral("All Files (*.*)"), nullptr, [&f] { f.mnuLocalFilterAll_Click(); });
    add(local, QStringLiteral("DefineTypes (*.?)"), nullptr, [&f] { f.mnuLocalFilterDefineTypes_Click(); });
    QMenu* localView = local->addMenu(QStringLiteral("View"));
    add(localView, QStringLiteral("Large Icons"), nullptr, [&f] { f.SetLocalView(0); });
    add(localView, QStringLiteral("Small Icons"), nullptr, [&f] { f.SetLocalView(1); });
    add(localView, QStringLiteral("List"), nullptr, [&f] { f.SetLocalView(2); });
    add(localView, QStringLiteral("Details"), nullptr, [&f] { f.SetLocalView(3); });

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setToolTipsVisible(true);
    add(tools, QStringLiteral("Clear Log"), nullptr, [&f] { f.ClearLog(); });
    add(tools, QStringLiteral("Empty Trash"), nullptr, [&f] { f.mnuToolsEmptyLocalRecycleBin_Click(); });
    showTip(add(tools, QStringLiteral("Custom Command"), &f.mnuRemoteSendCommand, [&f] { f.mnuRemoteSendCommand_Click(); }), f.mnuRemoteSendCommand);
    add(tools, QStringLiteral("Options..."), nullptr, cmd("IDC_FS_Options"));
    keys(add(tools, QStringLiteral("User Guide"), nullptr, cmd("IDC_FS_UserGuide")), Qt::Key_F1);
}

void TessalyMainWindowView::buildToolbar()
{
    auto* toolbar = new ToolbarView(form_.movToolbar, this);
    addToolBar(toolbar);
    // The toolbar's toggles, its way to the tray and About are menu items too; the other buttons
    // are in the menus already.
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    toolbar->mirrorInMenu(view, {QStringLiteral("IDC_FS_ShowA"), QStringLiteral("IDC_FS_ShowB"), QStringLiteral("IDC_FS_ShowC"),
                                 QStringLiteral("IDC_FS_tray")});
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    toolbar->mirrorInMenu(help, {QStringLiteral("IDC_FS_UserGuide"), QStringLiteral("IDC_FS_openAbout")});
    // Whether a server is connected, beside the status line rather than run into it.
    statusBar()->addPermanentWidget(new ConnectedIndicator(form_.movToolbar, statusBar()));
}

}  // namespace harbel

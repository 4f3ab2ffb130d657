// The main window's commands: the toolbar, the menus, the two pop-up menus and the tray menu, the
// walks over the download windows, the total rate and the scheduled start of the queue.
#include "downloader/main/frmMain.h"

#include "downloader/main/DownloadRow.h"
#include "downloader/main/BrowserCapture.h"

#include "common/platform/AppFolder.h"
#include "common/platform/Prompts.h"
#include "common/platform/Shell.h"
#include "common/support/LangString.h"
#include "common/support/Skin.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>

namespace harbel {

namespace {

void letEventsRun(int times)
{
    for (int i = 0; i < times; ++i)
        QCoreApplication::processEvents();
}

}  // namespace

QString frmMain::userGuidePath()
{
    return AppFolder::file(QStringLiteral("UserGuide.html"));
}

void frmMain::Flash_FSCommand(const QString& command, const QString& /*args*/)
{
    if (command == QLatin1String("IDC_FS_tray")) {
        hidewindows_mnu_Click();
    } else if (command == QLatin1String("IDC_FS_minimize")) {
        setWindowState(1);
    } else if (command == QLatin1String("IDC_FS_close")) {
        Form_Unload();
    } else if (command == QLatin1String("IDC_FS_drag")) {
        emit dragRequested();
    } else if (command == QLatin1String("IDC_FS_launchFTP")) {
        launchFtpClient();
    } else if (command == QLatin1String("IDC_FS_ShowB")) {
        lstMain.setVisible(true);
    } else if (command == QLatin1String("IDC_FS_HideB")) {
        lstMain.setVisible(false);
    } else if (command == QLatin1String("IDC_FS_ShowC")) {
        lstComplete.setVisible(true);
    } else if (command == QLatin1String("IDC_FS_HideC")) {
        lstComplete.setVisible(false);
    } else if (command == QLatin1String("IDC_FS_AddURL")) {
        Add_mnu_Click();
    } else if (command == QLatin1String("IDC_FS_ReDownload")) {
        mnuReDownload_Click();
    } else if (command == QLatin1String("IDC_FS_PauseAll")) {
        PauseAll();
    } else if (command == QLatin1String("IDC_FS_ResumeAll")) {
        ResumeAll();
    } else if (command == QLatin1String("IDC_FS_StopAll")) {
        StopAll();
    } else if (command == QLatin1String("IDC_FS_Schedule")) {
        mnuSchedule_Click();
    } else if (command == QLatin1String("IDC_FS_Settings")) {
        settings_mnu_Click();
    } else if (command == QLatin1String("IDC_FS_UserGuide")) {
        UserGuide_mnu_Click();
    } else if (command == QLatin1String("IDC_FS_openAbout")) {
        About_mnu_Click();
    } else if (command == QLatin1String("IDC_FS_closeAbout")) {
        lstMain.setVisible(true);
        lstComplete.setVisible(true);
        StatusBar.setPanelText(1, {});
    }
}

// ---------------------------------------------------------------- menus and tray

void frmMain::exit_mnu_Click()
{
    Form_Unload();
}

void frmMain::closeVantor_traymnu_Click()
{
    Form_Unload();
}

void frmMain::hidewindows_mnu_Click()
{
    Hide();
}

void frmMain::showstatus_traymnu_Click()
{
    setWindowState(0);
    Show();
}

void frmMain::enterurl_traymnu_Click()
{
    // From the tray the dialog opens without waiting: the tray menu returns at once. One that is
    // open already keeps what the user has typed into it.
    if (URLForm.Visible())
        return;
    URLForm.Form_Load();
    URLForm.Show();
    emit modelessRequested(&URLForm);
}

void frmMain::settings_mnu_Click()
{
    SettingsForm.Form_Load();
    Prompts::instance().ShowModal(SettingsForm);
}

void frmMain::IECapClicks(bool enable)
{
    BrowserCapture::writeHostScript(Shell::suiteProgram(QStringLiteral("pellanor")));
    BrowserCapture::switchChromium(enable);
}

void frmMain::netscapeClicks(bool enable)
{
    // The script is written either way, as the manifests of any family name it.
    BrowserCapture::writeHostScript(Shell::suiteProgram(QStringLiteral("pellanor")));
    const BrowserCapture::Result r = BrowserCapture::switchMozilla(enable);
    switch (r.outcome) {
    case BrowserCapture::Outcome::Done:
        break;
    case BrowserCapture::Outcome::NoBrowser:
        Prompts::instance().MsgBox(
            GetLangString(QStringLiteral("13020"),
                          QStringLiteral("Netscape Browser is not installed in your system or Netsacpe Plugin not found!!")),
            MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);
        break;
    case BrowserCapture::Outcome::WriteFailed:
        Prompts::instance().MsgBox(GetLangString(QStringLiteral("11003"), QStringLiteral("Error copying File"))
                                       + QStringLiteral("  ") + r.failedPath,
                                   MsgButtons::OkOnly, MsgIcon::Critical, sProgramTitle);
        break;
    case BrowserCapture::Outcome::RemoveFailed:
        Prompts::instance().MsgBox(GetLangString(QStringLiteral("11002"), QStringLiteral("Error deleteing file:"))
                                       + r.failedPath,
                                   MsgButtons::OkOnly, MsgIcon::Information, sProgramTitle);
        break;
    }
}

void frmMain::mnuSchedule_Click()
{
    ScheduleForm.RunMode = false;
    ScheduleForm.Form_Load();
    Prompts::instance().ShowModal(ScheduleForm);
}

void frmMain::About_mnu_Click()
{
    lstMain.setVisible(false);
    lstComplete.setVisible(false);
    StatusBar.setPanelText(1, QStringLiteral("Pellanor %1").arg(QLatin1String(HARBEL_VERSION)));
}

void frmMain::UserGuide_mnu_Click()
{
    Shell::instance().open(userGuidePath());
}

void frmMain::launchFtpClient()
{
    // The same steps as closing, then the FTP client from the folder that holds this program.
    Form_Unload();
    Shell::instance().start(Shell::suiteProgram(QStringLiteral("tessaly")));
    emit launchedFtpClient();
}

void frmMain::Add_mnu_Click()
{
    URLForm.Form_Load();
    Prompts::instance().ShowModal(URLForm);
}

void frmMain::lstMain_OLEDragDrop(const QString& text)
{
    URLForm.DownLoadURL(text.trimmed());
}

void frmMain::refresh_qmnu_Click()
{
    lstMain.Refresh();
}

void frmMain::clear_qmnu_Click()
{
    lstMain.Clear();
}

void frmMain::selectall_qmnu_Click()
{
    lstMain.selectAll(true);
}

void frmMain::deselectall_qmnu_Click()
{
    lstMain.selectAll(false);
}

void frmMain::removeselection_qmnu_Click()
{
    // The current row goes first while any row is selected; a selection without a current row
    // falls back to the first selected one, so the walk always ends.
    while (lstMain.anySelected()) {
        ListRow* row = lstMain.SelectedItem();
        if (!row)
            row = lstMain.selectedRows().first();
        lstMain.Remove(row);
        if (!lstMain.SelectedItem() && lstMain.anySelected())
            lstMain.setSelectedItem(lstMain.selectedRows().first());
    }
    lstMain.Refresh();
}

void frmMain::mnuReDownload_Click()
{
    windows.reDownloadQueue();
}

void frmMain::mnuComPopRemoveSel_Click()
{
    while (lstComplete.anySelected())
        lstComplete.Remove(lstComplete.selectedRows().first());
    lstComplete.Refresh();
}

void frmMain::mnuComPopRemoveAll_Click()
{
    lstComplete.Clear();
}

void frmMain::mnuComPopRedown_Click()
{
    windows.reDownloadCompleted();
}

void frmMain::lstMain_ColumnClick(int column)
{
    lstMain.ColumnClick(column);
}

void frmMain::lstComplete_ColumnClick(int column)
{
    lstComplete.ColumnClick(column);
}

// ---------------------------------------------------------------- all downloads at once

void frmMain::PauseAll()
{
    for (int slot = 0; slot < DownloadWindows::kSlots; ++slot) {
        letEventsRun(2);
        if (frmDownload* job = windows.existing(slot); job && job->tmrUpdate.Enabled())
            job->Pause_Resume();
        letEventsRun(2);
    }
    RefreshControls(*this);
}

void frmMain::ResumeAll()
{
    // Only paused downloads go on: one that failed or that the user stopped keeps its status
    // until the user starts it again.
    for (int slot = 0; slot < DownloadWindows::kSlots; ++slot) {
        letEventsRun(2);
        if (windows.isPaused(slot))
            windows.existing(slot)->Pause_Resume();
        letEventsRun(2);
    }
    RefreshControls(*this);
}

void frmMain::StopAll()
{
    for (int slot = 0; slot < DownloadWindows::kSlots; ++slot)
        if (frmDownload* job = windows.existing(slot); job && job->tmrUpdate.Enabled())
            job->StopMe();
    RefreshControls(*this);
}

void frmMain::tmrGraph_Timer()
{
    if (!lstMain.isEmpty()) {
        totalRate_ = 0;
        for (int slot = 0; slot < DownloadWindows::kSlots; ++slot)
            if (const frmDownload* job = windows.existing(slot))
                totalRate_ += job->intTransferRate;
    }
    StatusBar.setPanelText(0, GetLangString(QStringLiteral("01008"), QStringLiteral("Total Transfer Rate: ")) + u' '
                                  + QLocale::c().toString(totalRate_ / 1000.0, 'f', 2) + QStringLiteral(" Kbps"));
}

// ---------------------------------------------------------------- the schedule

void frmMain::ExtraTimer1_Timer()
{
    if (ScheduleForm.InitTimer(false)) {
        windows.UseScheduleExistsAction = true;
        windows.ScheduleExistsAction = ScheduleForm.current.existsAction();
        RunSchedule();
        windows.UseScheduleExistsAction = false;
        ScheduleForm.afterRun();
    }
    RefreshControls(*this);
}

void frmMain::RunSchedule()
{
    // Taken first: a start may change the list (a finished row leaves it), so rows are found
    // again by their current position.
    QList<QPointer<ListRow>> pending;
    for (ListRow* row : lstMain.rows())
        if (entryOf(*row).startedBySchedule())
            pending.append(row);
    for (const QPointer<ListRow>& row : pending) {
        if (!row)
            continue;
        const QueueEntry entry = entryOf(*row);
        if (entry.address.isEmpty())
            continue;
        // A row whose window still holds its download goes on there: a running one is left running
        // and a paused one resumes, so the file-exists action never touches what it has written.
        const int slot = windows.slotOf(row);
        if (windows.isPaused(slot)) {
            windows.existing(slot)->Pause_Resume();
            continue;
        }
        if (windows.isBusy(slot))
            continue;
        if (!windows.DownloadNow(entry.address, entry.savePath, lstMain.indexOf(row)))
            break;  // no window left: the rest wait as well
    }
}

}  // namespace harbel

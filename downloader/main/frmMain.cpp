#include "downloader/main/frmMain.h"

#include "downloader/engine/DownloadFormat.h"
#include "downloader/main/BrowserCapture.h"
#include "downloader/main/DownloadRow.h"
#include "downloader/main/History.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/prompts/Prompts.h"
#include "common/platform/Shell.h"
#include "common/platform/SingleInstance.h"
#include "common/support/LangString.h"
#include "common/support/Skin.h"

#include <QFileInfo>
#include <QTimer>

#include <utility>

namespace harbel {

frmMain::frmMain(QObject* parent) : Form(QStringLiteral("frmMain"), parent)
{
    setDownloadColumns(lstMain, false);
    setDownloadColumns(lstComplete, true);
    tmrGraph.setEnabled(false);
    tmrSaveHistory.setEnabled(false);
    StatusBar.setPanelText(0, {});
    windows.checksServerNames = true;  // the wanted types hold for the names servers give too

    connect(&Flash, &MovieToolbar::FSCommand, this, &frmMain::Flash_FSCommand);
    connect(&ExtraTimer1, &ExtraTimer::Timer, this, &frmMain::ExtraTimer1_Timer);
    connect(&windows, &DownloadWindows::connectingReported, this, [this](bool on) {
        Flash.SetVariable(QStringLiteral("_root.Connected"), on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    connect(&windows, &DownloadWindows::downloadEnded, this, &frmMain::downloadEnded);
    connect(&lstMain, &ListView::rowsChanged, this, &frmMain::historyTouched);
    connect(&lstComplete, &ListView::rowsChanged, this, &frmMain::historyTouched);
    SettingsForm.captureSwitch = [this](bool on) {
        IECapClicks(on);
        netscapeClicks(on);
    };
    connect(&Tray1, &Tray::LeftClick, this, [this] {
        setWindowState(0);
        Show();
    });
}

frmMain::~frmMain() = default;

bool frmMain::checkSingleInstance(SingleInstance& instance, bool* handedOver, const QString& address, int waitMs)
{
    const SingleInstance::Start start = instance.primaryOrHandOver(address, waitMs);
    if (handedOver)
        *handedOver = start == SingleInstance::Start::HandedOver;
    return start == SingleInstance::Start::Primary;
}

void frmMain::Form_Load()
{
    setCaption(sProgramTitle);
    Tray1.setTrayToolTip(sProgramTitle);
    Tray1.setTrayImage(QStringLiteral("folder-download"));

    Skin& skin = Skin::shared();
    if (skin.isLoaded() || skin.LoadSkin(AppFolder::file(QStringLiteral("harbel.skn")))) {
        skin.ApplySkinByName(*this, QStringLiteral("Main"));
        SkinFormControls(*this, skin);
        SkinForm(*this, skin);
    }

    Flash.LoadMovie(AppFolder::file(QStringLiteral("Harbel.toolbar")));
    Flash.SetVariable(QStringLiteral("_root.Program"), QStringLiteral("DM"));
    FirstPromptShown = false;

    // The keyring's passwords come in the background: a download that needs one waits for it.
    SettingsStore::instance().LoadSettings(SettingsStore::PasswordReads::Later);
    if (!SettingsStore::instance().iniError.isEmpty())
        Prompts::instance().MsgBox(
            GetLangString(QStringLiteral("19353"),
                          QStringLiteral("The file types and logins could not be read from Settings.ini. "
                                         "The file is left as it is and is not rewritten in this session:"))
                + u' ' + SettingsStore::instance().iniError,
            MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);
    if (const QString fault = RegistryStore().fault(); !fault.isEmpty())
        Prompts::instance().MsgBox(fault, MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);

    // Loading the history is not a change worth writing back.
    loaded_ = false;
    QString error;
    historyUnreadable_ = !History::LoadHistory(lstMain, lstComplete, &error);
    tmrSaveHistory.setEnabled(false);
    if (historyUnreadable_)
        Prompts::instance().MsgBox(
            GetLangString(QStringLiteral("19350"),
                          QStringLiteral("The queue and the completed list could not be read from History.ini. "
                                         "The file is left as it is and the lists of this session are not saved to it:"))
                + u' ' + error,
            MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);
    loaded_ = true;

    // The language chosen in the FTP client's options takes effect here, at the next start.
    if (currentLanguageFile().isEmpty())
        setCurrentLanguageFile(chosenLanguageFile());

    // Arms the timer when the stored schedule lies ahead.
    ScheduleForm.InitTimer(true);
    tmrGraph.setEnabled(true);
    Tray1.Show(true);
}

bool frmMain::Form_QueryUnload()
{
    if (unloaded_ || windows.runningCount() == 0)
        return true;
    return Prompts::instance().MsgBox(
               GetLangString(QStringLiteral("19360"),
                             QStringLiteral("Downloads are running. Quitting now pauses them and keeps what has "
                                            "arrived; Resume All continues them at the next start. Quit now?")),
               MsgButtons::OkCancel, MsgIcon::Question, sProgramTitle)
           == MsgAnswer::Ok;
}

void frmMain::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // Running downloads end paused, each with its control file, and their rows are written showing
    // that, before any window closes and writes a stopped state into them: at the next start they
    // are paused rows that Resume All and the schedule continue.
    windows.pauseRunning();
    tmrSaveHistory.setEnabled(false);
    if (!saveHistoryNow())
        Prompts::instance().MsgBox(StatusBar.PanelText(1), MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);
    URLForm.Hide();
    FileForm.Hide();
    ScheduleForm.Hide();
    SettingsForm.Hide();
    ExtraTimer1.setEnabled(false);
    Tray1.Show(false);
    tmrGraph.setEnabled(false);
    windows.closeAll();
    emit quitRequested();
}

bool frmMain::saveHistoryNow()
{
    QString error;
    if (historyUnreadable_ && QFileInfo::exists(History::path())) {
        if (lstMain.isEmpty() && lstComplete.isEmpty())
            return true;  // nothing of this run to lose
        error = GetLangString(QStringLiteral("19351"), QStringLiteral("the file could not be read at start-up."));
    } else {
        historyUnreadable_ = false;  // the unreadable file is gone: the lists may take its place
        if (History::SaveHistory(lstMain, lstComplete, today(), &error))
            return true;
    }
    StatusBar.setPanelText(1, GetLangString(QStringLiteral("19352"), QStringLiteral("The lists were not saved to History.ini:"))
                                  + u' ' + error);
    return false;
}

void frmMain::historyTouched()
{
    if (!loaded_ || unloaded_)
        return;
    if (!tmrSaveHistory.Enabled())
        tmrSaveHistory.setEnabled(true);
}

void frmMain::tmrSaveHistory_Timer()
{
    tmrSaveHistory.setEnabled(false);
    saveHistoryNow();
}

void frmMain::txtChager_Change(const QString& text)
{
    if (text.isEmpty() || text.startsWith(QLatin1String("MENU")))
        return;
    // Taken now, an address handed over while another one is being asked about would run the
    // Add-URL flow inside the open question and pair one address with the other's path. The
    // question for several addresses is not modal: it takes more of them into its list.
    const bool onlyGatheredOpen = FilesForm.Visible() && handingOver_ == 0 && !URLForm.Visible()
                                  && !URLForm.isLookingUp() && !FileForm.Visible() && !windows.isAsking();
    if (promptOpen() && !onlyGatheredOpen) {
        waitingHandOvers_.append(text);
        return;
    }
    ++handingOver_;
    {
        // The browser's links start downloads that nobody is asked about.
        const DownloadWindows::Unattended nobody(windows);
        URLForm.DownLoadURL(text);
    }
    --handingOver_;
    handOversMayGoOn();
}

bool frmMain::promptOpen() const
{
    return handingOver_ > 0 || URLForm.Visible() || URLForm.isLookingUp() || FileForm.Visible() || FilesForm.Visible()
           || windows.isAsking();
}

void frmMain::askWhereToSave(const QString& address, const QString& name)
{
    if (gathering_ || FilesForm.Visible() || FilesForm.count() > 0 || FileForm.Visible()) {
        FilesForm.add(address, name);
        if (!gathering_)
            handOversMayGoOn();
        return;
    }
    FileForm.Form_Load(address, name);
}

void frmMain::askGathered()
{
    if (FilesForm.Visible() || FilesForm.count() == 0 || promptOpen())
        return;
    if (FilesForm.count() == 1) {
        const auto [address, name] = FilesForm.takeFirst();
        FileForm.Form_Load(address, name);
        return;
    }
    FilesForm.Form_Load();
}

void frmMain::handOversMayGoOn()
{
    if ((waitingHandOvers_.isEmpty() && !gatheredWaiting()) || handOverPosted_)
        return;
    handOverPosted_ = true;
    // Later, from the event loop: the answer that got here may still be on its way out.
    QTimer::singleShot(promptOpen() ? 200 : 0, this, [this] {
        handOverPosted_ = false;
        if (waitingHandOvers_.isEmpty() && !gatheredWaiting())
            return;
        if (promptOpen()) {
            handOversMayGoOn();
            return;
        }
        if (waitingHandOvers_.size() == 1 && !gatheredWaiting()) {
            txtChager_Change(waitingHandOvers_.takeFirst());
            return;
        }
        // Several came while the question was open: they are taken together and asked about in
        // one question (those the filters or the save rules place need none).
        gathering_ = true;
        const QStringList texts = std::exchange(waitingHandOvers_, {});
        for (const QString& text : texts) {
            ++handingOver_;
            URLForm.DownLoadURL(text);
            --handingOver_;
        }
        gathering_ = false;
        // An address whose server is still asked for its file's name joins the list later.
        if (!URLForm.isLookingUp())
            askGathered();
    });
}

void frmMain::takeHandOvers(SingleInstance& instance)
{
    connect(&instance, &SingleInstance::received, this, &frmMain::txtChager_Change, Qt::QueuedConnection);
    connect(&instance, &SingleInstance::raiseRequested, this, [this] {
        setWindowState(0);
        Show();
        emit raiseRequested();
    });
}

// ---------------------------------------------------------------- commands

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
        if (Form_QueryUnload())
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
    if (Form_QueryUnload())
        Form_Unload();
}

void frmMain::closeVantor_traymnu_Click()
{
    if (Form_QueryUnload())
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
                          QStringLiteral("Firefox is not set up for this user (there is no ~/.mozilla folder), so it "
                                         "cannot hand links over yet. Start Firefox once, then switch this on again.")),
            MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);
        break;
    case BrowserCapture::Outcome::WriteFailed:
        Prompts::instance().MsgBox(GetLangString(QStringLiteral("11003"), QStringLiteral("Error copying File"))
                                       + QStringLiteral("  ") + r.failedPath,
                                   MsgButtons::OkOnly, MsgIcon::Critical, sProgramTitle);
        break;
    case BrowserCapture::Outcome::RemoveFailed:
        Prompts::instance().MsgBox(GetLangString(QStringLiteral("11002"), QStringLiteral("Error deleting file:"))
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
    // A box over the window: the lists stay where they are.
    Prompts::instance().MsgBox(QStringLiteral("Pellanor %1\n\nThe download manager of the Harbel suite: HTTP, HTTPS, FTP "
                                              "and FTPS, up to six connections per file, a queue and a schedule.")
                                   .arg(QLatin1String(HARBEL_VERSION)),
                               MsgButtons::OkOnly, MsgIcon::Information, QStringLiteral("About Pellanor"));
}

void frmMain::UserGuide_mnu_Click()
{
    Shell::instance().open(userGuidePath());
}

void frmMain::launchFtpClient()
{
    // The same steps as closing, then the FTP client from the folder that holds this program.
    if (!Form_QueryUnload())
        return;
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
    queueCommands_.removeSelectedQueueRows();
}

void frmMain::mnuReDownload_Click()
{
    windows.reDownloadQueue();
}

void frmMain::mnuComPopRemoveSel_Click()
{
    queueCommands_.removeSelectedCompletedRows();
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
    queueCommands_.pauseAll();
    RefreshControls(*this);
}

void frmMain::ResumeAll()
{
    queueCommands_.resumeAll();
    RefreshControls(*this);
}

void frmMain::StopAll()
{
    queueCommands_.stopAll();
    RefreshControls(*this);
}

void frmMain::tmrGraph_Timer()
{
    // What runs now, measured as each download window measures it: 0 once nothing runs.
    StatusBar.setPanelText(0, GetLangString(QStringLiteral("01008"), QStringLiteral("Total Transfer Rate: ")) + u' '
                                  + FormatRate(queueCommands_.totalRate()));
}

bool frmMain::closeToTray(bool trayAvailable)
{
    if (!trayAvailable || !Tray1.IsVisible())
        return false;
    Hide();
    // Said once: the program remembers that it was said.
    CRegister reg;
    const QString key = QString::fromLatin1(kSettingsKey);
    if (reg.REGGetSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("ClosedToTrayTold"), QStringLiteral("0")) != QLatin1String("1")) {
        reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key, QStringLiteral("ClosedToTrayTold"), QStringLiteral("1"));
        tellDesktop({GetLangString(QStringLiteral("19514"), QStringLiteral("Pellanor is still running in the notification area")),
                     GetLangString(QStringLiteral("19515"), QStringLiteral("Downloads and the schedule go on. Its icon brings the "
                                                                           "window back; Exit in its menu ends Pellanor.")),
                     {}});
    }
    return true;
}

void frmMain::downloadEnded(const QString& file, bool ok, const QString& reason)
{
    if (!SettingsStore::instance().record.NotifyWhenDone)
        return;
    const QString name = QFileInfo(file).fileName();
    if (ok)
        tellDesktop({GetLangString(QStringLiteral("19512"), QStringLiteral("Download complete")), name, file});
    else
        tellDesktop({GetLangString(QStringLiteral("19513"), QStringLiteral("Download failed")),
                     reason.isEmpty() ? name : name + QStringLiteral(": ") + reason, {}});
}

void frmMain::tellDesktop(const Notice& notice)
{
    const QPointer<frmMain> self(this);
    Notifier::instance().notify(notice, [self](const Notice& unshown) {
        if (self)
            self->StatusBar.setPanelText(1, unshown.summary + QStringLiteral(": ") + unshown.body);
    });
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
    queueCommands_.runSchedule();
}

}  // namespace harbel

#include "downloader/main/frmMain.h"

#include "downloader/main/History.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/AppFolder.h"
#include "common/platform/Prompts.h"
#include "common/platform/SingleInstance.h"
#include "common/support/LangString.h"
#include "common/support/Skin.h"

#include <QFileInfo>
#include <QTimer>

namespace harbel {

frmMain::frmMain(QObject* parent) : Form(QStringLiteral("frmMain"), parent)
{
    setDownloadColumns(lstMain, false);
    setDownloadColumns(lstComplete, true);
    tmrGraph.setEnabled(false);
    tmrSaveHistory.setEnabled(false);
    StatusBar.setPanelText(0, {});

    connect(&Flash, &MovieToolbar::FSCommand, this, &frmMain::Flash_FSCommand);
    connect(&ExtraTimer1, &ExtraTimer::Timer, this, &frmMain::ExtraTimer1_Timer);
    connect(&windows, &DownloadWindows::connectingReported, this, [this](bool on) {
        Flash.SetVariable(QStringLiteral("_root.Connected"), on ? QStringLiteral("1") : QStringLiteral("0"));
    });
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

bool frmMain::checkSingleInstance(SingleInstance& instance)
{
    if (instance.acquire())
        return true;
    Prompts::instance().MsgBox(QStringLiteral("There is running instance"), MsgButtons::OkOnly, MsgIcon::Critical,
                               QStringLiteral("Harbel"));
    return false;
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

    SettingsStore::instance().LoadSettings();
    if (!SettingsStore::instance().iniError.isEmpty())
        Prompts::instance().MsgBox(
            GetLangString(QStringLiteral("19353"),
                          QStringLiteral("The file types and logins could not be read from Settings.ini. "
                                         "The file is left as it is and is not rewritten in this session:"))
                + u' ' + SettingsStore::instance().iniError,
            MsgButtons::OkOnly, MsgIcon::Exclamation, sProgramTitle);

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

void frmMain::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // The rows of running downloads are written with the cells they show now, before any window
    // closes and writes a stopped state into them.
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
    // Add-URL flow inside the open question and pair one address with the other's path.
    if (promptOpen()) {
        waitingHandOvers_.append(text);
        return;
    }
    ++handingOver_;
    URLForm.DownLoadURL(text);
    --handingOver_;
    handOversMayGoOn();
}

bool frmMain::promptOpen() const
{
    return handingOver_ > 0 || URLForm.Visible() || FileForm.Visible() || windows.isAsking();
}

void frmMain::handOversMayGoOn()
{
    if (waitingHandOvers_.isEmpty() || handOverPosted_)
        return;
    handOverPosted_ = true;
    // Later, from the event loop: the answer that got here may still be on its way out.
    QTimer::singleShot(promptOpen() ? 200 : 0, this, [this] {
        handOverPosted_ = false;
        if (waitingHandOvers_.isEmpty())
            return;
        if (promptOpen()) {
            handOversMayGoOn();
            return;
        }
        txtChager_Change(waitingHandOvers_.takeFirst());
    });
}

void frmMain::takeHandOvers(SingleInstance& instance)
{
    connect(&instance, &SingleInstance::received, this, &frmMain::txtChager_Change, Qt::QueuedConnection);
}

}  // namespace harbel

#pragma once

#include "downloader/main/DownloadWindows.h"
#include "downloader/main/QueueCommands.h"
#include "downloader/main/frmFile.h"
#include "downloader/main/frmFiles.h"
#include "downloader/main/frmSchedule.h"
#include "downloader/main/frmSettings.h"
#include "downloader/main/frmURL.h"

#include "common/controls/Control.h"
#include "common/controls/ExtraTimer.h"
#include "common/controls/Form.h"
#include "common/controls/ListView.h"
#include "common/controls/MovieToolbar.h"
#include "common/controls/Timer.h"
#include "common/controls/Tray.h"
#include "common/platform/Notifier.h"

#include <QDate>

#include <functional>

namespace harbel {

class SingleInstance;

// The download manager's main window: the queue and the completed list, the toolbar, the status
// bar and the tray icon; its load is the program's start-up and its unload the shutdown.
class frmMain final : public Form {
    Q_OBJECT
public:
    explicit frmMain(QObject* parent = nullptr);
    ~frmMain() override;

    MovieToolbar Flash{*this, QStringLiteral("Flash")};
    ListView lstMain{*this, QStringLiteral("lstMain")};
    ListView lstComplete{*this, QStringLiteral("lstComplete")};
    harbel::StatusBar StatusBar{*this, QStringLiteral("StatusBar")};
    Tray Tray1{*this, QStringLiteral("Tray1")};
    Timer tmrGraph{*this, QStringLiteral("tmrGraph"), 250, [this] { tmrGraph_Timer(); }};
    // Writes the history a second after the lists last changed, so a crash loses at most that second.
    Timer tmrSaveHistory{*this, QStringLiteral("tmrSaveHistory"), 1000, [this] { tmrSaveHistory_Timer(); }};

    // Wakes the scheduler; armed by the schedule's evaluation, off until then.
    ExtraTimer ExtraTimer1{*this, QStringLiteral("ExtraTimer1")};

    DownloadWindows windows{lstMain, lstComplete};
    frmURL URLForm{*this};
    frmFile FileForm{*this};
    frmFiles FilesForm{*this};
    frmSchedule ScheduleForm{ExtraTimer1, this};
    frmSettings SettingsForm{this};

    // False until the first address has gone through the Add-URL flow in this run: that one is
    // always asked about.
    bool FirstPromptShown = false;
    QString sProgramTitle = QStringLiteral("Pellanor");

    // The single-instance rule: true when this copy is the one that runs. Otherwise the running
    // copy is handed the address, or asked to show its window when there is none; one that is
    // still starting is waited for up to waitMs. Nothing is shown: a question here would stop a
    // browser's hand-over until someone came to answer it. handedOver, when given, tells whether
    // the running copy took the request.
    static bool checkSingleInstance(SingleInstance& instance, bool* handedOver = nullptr, const QString& address = {},
                                    int waitMs = 10000);

    // Start-up: title, layout, skin, toolbar, settings, history, language, tray icon.
    void Form_Load();
    // Whether the program may end now: true when no download is running, else the user's answer
    // to the question whether to pause them and quit (Cancel keeps everything running).
    bool Form_QueryUnload();
    // Shutdown: running downloads are paused (with their control files) and the history saved
    // showing them paused, then the dialogs, the tray icon and every download window close.
    void Form_Unload();
    bool isUnloaded() const { return unloaded_; }

    // The toolbar's commands ("IDC_FS_..."); an unknown one does nothing.
    void Flash_FSCommand(const QString& command, const QString& args = {});

    // Lists: the queue pop-up, the completed pop-up and the header clicks.
    void refresh_qmnu_Click();
    void clear_qmnu_Click();
    void selectall_qmnu_Click();
    void deselectall_qmnu_Click();
    void removeselection_qmnu_Click();
    void mnuReDownload_Click();
    void mnuComPopRemoveSel_Click();
    void mnuComPopRemoveAll_Click();
    void mnuComPopRedown_Click();
    void lstMain_ColumnClick(int column);
    void lstComplete_ColumnClick(int column);
    // Text dropped on the queue list.
    void lstMain_OLEDragDrop(const QString& text);

    // An address handed over through the locator endpoint (browser add-ons, `pellanor --add`).
    // Texts starting with "MENU" are not addresses and are dropped.
    void txtChager_Change(const QString& text);
    // Takes the texts another copy hands over. They are taken once the hand-over's own handler has
    // returned: the flow may open a modal dialog, and the hand-over's socket must not go away
    // under that handler meanwhile.
    void takeHandOvers(SingleInstance& instance);
    // A question about an address is open (the Enter URL dialog, the download prompt or its save
    // dialog, the file-exists question): handed-over addresses wait until it is answered.
    bool promptOpen() const;
    // The open question has been answered: the addresses that came meanwhile may be taken. One
    // gets the download prompt; several get one question for all of them (FilesForm).
    void handOversMayGoOn();
    // Where the Add-URL flow asks about an address: the download prompt, or, while a question is
    // open or several addresses are taken at once, the list of the question for all of them.
    void askWhereToSave(const QString& address, const QString& name);

    // Menus and tray.
    void Add_mnu_Click();
    void exit_mnu_Click();
    void closeVantor_traymnu_Click();
    void hidewindows_mnu_Click();
    void showstatus_traymnu_Click();
    // "Enter URL" of the tray: the dialog opens and the call returns without waiting for it.
    void enterurl_traymnu_Click();
    void settings_mnu_Click();
    // The capture switches: install (on) or remove (off) the browser hand-over's manifests for the
    // Chromium family (silently) and for the Mozilla family (warning 13020 when none is set up).
    void IECapClicks(bool enable);
    void netscapeClicks(bool enable);
    void mnuSchedule_Click();
    void About_mnu_Click();
    void UserGuide_mnu_Click();
    // Closes as "Exit" does (asking first while downloads run), then starts the FTP client from
    // the folder that holds this program.
    void launchFtpClient();
    // The user guide shipped in the application folder.
    static QString userGuidePath();

    void PauseAll();
    // Resumes the paused downloads; failed and stopped ones are left as they are.
    void ResumeAll();
    void StopAll();

    // The scheduler's wake-up, and the start of the queue's pending rows when the moment has come.
    void ExtraTimer1_Timer();
    void RunSchedule();

    void tmrGraph_Timer();

    // The window's own close button. With the tray icon shown the window goes into the
    // notification area and everything runs on (a notice says so the first time): true. Without
    // the icon (or a tray to hold it), false: the program ends as Exit ends it.
    bool closeToTray(bool trayAvailable);
    // A download ended by itself: the desktop is told (with "Show a notification when a download
    // ends"), else, where nobody shows notices, the status bar.
    void downloadEnded(const QString& file, bool ok, const QString& reason);
    void tmrSaveHistory_Timer();
    bool historySavePending() const { return tmrSaveHistory.Enabled(); }
    // True while a History.ini that could not be read at start-up is still there: it is never
    // overwritten with the lists of this run.
    bool historyUnreadable() const { return historyUnreadable_; }

    // The date written into the history; a test fixes it.
    std::function<QDate()> today = &QDate::currentDate;

signals:
    // The view acts on these: move, minimise and the end of the program.
    void dragRequested();
    void quitRequested();
    void launchedFtpClient();
    // Another copy was started: the view brings the window to the front.
    void raiseRequested();
    // A dialog to show without waiting for it (the view makes a window for it).
    void modelessRequested(harbel::Form* form);

private:
    // A notice for the desktop; where nobody shows it, its text goes to the status bar.
    void tellDesktop(const Notice& notice);
    // False, after saying why in the status bar, when the lists could not be written.
    bool saveHistoryNow();
    void historyTouched();

    // Addresses handed over while a question was open, oldest first.
    QStringList waitingHandOvers_;
    // True while the addresses that waited are taken together: they are gathered, not asked about.
    bool gathering_ = false;
    // Addresses gathered for one question that is not open yet.
    bool gatheredWaiting() const { return FilesForm.count() > 0 && !FilesForm.Visible(); }
    void askGathered();
    int handingOver_ = 0;
    bool handOverPosted_ = false;
    QueueCommands queueCommands_{lstMain, lstComplete, windows};
    bool loaded_ = false;
    bool unloaded_ = false;
    bool historyUnreadable_ = false;
};

}  // namespace harbel

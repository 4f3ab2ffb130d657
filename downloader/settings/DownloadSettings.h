#pragma once

#include "common/platform/SecretStore.h"

#include <QList>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <vector>

namespace harbel {

// Registry key of the download manager's options (under HKEY_LOCAL_MACHINE).
inline constexpr char kSettingsKey[] = "\\Software\\Korvane\\ZU4.0\\";

// Nothing is ignored until the user says so.
inline constexpr char kDefaultMonitorServer[] = "";
inline constexpr char kDefaultMonitorTypes[] =
    ".ZIP; .EXE; .BIN; .GZ; .Z; .TAR; .ARJ; .LZH; .SIT; .HQX; .FML; .TGZ; .GRS; .MP3; .RAR; .R0?;.R1?; .ACE; .C0?; .C1?; .W0?;"
    " .iso; .img; .7z; .xz; .zst; .bz2; .deb; .rpm; .AppImage; .apk; .dmg; .msi;"
    " .mp4; .mkv; .webm; .mov; .flac; .ogg; .opus; .m4a; .epub; .pdf;";
// The list the settings dialog puts back with its reset button (and into an emptied field).
inline constexpr char kDialogMonitorTypes[] =
    ".ZIP; .EXE; .BIN; .GZ; .Z; .TAR; .ARJ; .LZH; .SIT; .HQX; .FML; .TGZ; .GRS; .MP3; .RAR; .R0?; .R1?; .ACE; .C0?; .C1?; .W0?;"
    " .iso; .img; .7z; .xz; .zst; .bz2; .deb; .rpm; .AppImage; .apk; .dmg; .msi;"
    " .mp4; .mkv; .webm; .mov; .flac; .ogg; .opus; .m4a; .epub; .pdf;";

// Every option of the download manager as the running program uses it.
struct DownloadSettings {
    bool ClickCapture = true;
    bool ClipboardMonitoring = true;
    QString MonitorTypes = QString::fromLatin1(kDefaultMonitorTypes);
    QString MonitorServer = QString::fromLatin1(kDefaultMonitorServer);
    QString LimitHTTP = QStringLiteral("3");
    QString LimitFTP = QStringLiteral("3");
    int Timeout = 60;         // seconds
    bool StopResume = true;
    int TimeResume = 300;     // seconds
    int TimeNoResume = 600;   // seconds
    bool Retry = true;
    int RetryTime = 300;      // seconds
    int Retries = 3;          // times a job is tried again after a time-out, as the dialog proposes
    // Not stored; set by the command line for its run. A transfer that receives nothing on any of
    // its connections for Timeout seconds reconnects at once, and times out after Retries such
    // reconnects in a row that bring no new byte; the stall watchdog is not used.
    bool DataTimeout = false;
    qint32 Rollback = 4096;   // bytes
    quint8 Segment = 0;
    // Loaded bounds: 1 is added to sizes 3, 5, 7 and 9 (the stored values stay without it).
    std::array<double, 9> SegmentSize{2097152, 5242880, 5242881, 10485760, 10485761,
                                      15728640, 15728641, 20971520, 20971521};
    bool PromptDone = true;
    // Segmenting (Segment) asks before each download a person starts; without it, and always for
    // downloads nobody is there to answer for (the schedule, the queue, the browser), it just does.
    bool AskSegmented = false;
    // A desktop notification names each download that completed or failed.
    bool NotifyWhenDone = true;
    bool CloseDownloadWindowWhenDone = false;
    bool DownloadNowOption = false;
    bool DownloadLaterOption = false;
    bool DownloadPromptOption = true;
    bool StartupWithWindows = false;
    bool SaveSameDir = false;
    QString TextSameDir;      // default: the desktop's download folder
    QString SaveLastDir;
    bool SaveFileType = false;
    bool SaveFileInfo = false;
    QString ParentDir;
    bool UseServer = false;
    bool UseDate = false;
    bool UseFileExt = false;
    bool UseCustom = false;
    QString TextCustom;
    bool UsePASV = false;
    // The HTTP proxy: while UseProxy is on every HTTP job connects to ProxyServer:ProxyPort, plain
    // requests naming the whole address and https:// ones through a CONNECT tunnel; with
    // LoginProxy the credentials below go to the proxy alone.
    bool UseProxy = false;
    QString ProxyServer;
    int ProxyPort = 80;
    // Loaded and stored, not used: an HTTP proxy cannot carry FTP.
    bool UseFTPProxy = false;
    bool LoginProxy = false;
    QString UserID;
    bool UsePass = false;
    QString UserPass;
    qint32 Downloads = 0;
    double AllBytes = 0;
};

struct FileTypeFolder {
    QString fileType;
    QString folder;
};

struct SiteLogin {
    QString server;
    QString user;
    QString password;
};

// What the settings dialog holds when OK or Apply is pressed, as its fields show it: check boxes
// 0/1, option buttons true/false, times in minutes, the rollback in KB, segment sizes in MB.
struct SettingsDialogValues {
    int chkClipboard = 1;
    QString txtLimitHTTP = QStringLiteral("3");
    QString txtLimitFTP = QStringLiteral("3");
    int chkIE = 1;
    int chkStartWin = 0;
    int chkPromptDone = 1;
    int chkAskSegmented = 0;
    int chkNotifyWhenDone = 1;
    int chkCloseWindow = 0;
    bool chkDownloadNow = false;
    bool chkDownloadLater = false;
    bool chkDownloadPrompt = true;
    QString txtMonitorTypes = QString::fromLatin1(kDefaultMonitorTypes);
    QString txtMonitorServer = QString::fromLatin1(kDefaultMonitorServer);
    QString txtTimeout = QStringLiteral("60");
    int chkStopResume = 1;
    QString txtTimeResume = QStringLiteral("5");     // minutes
    QString txtTimeNoResume = QStringLiteral("10");  // minutes
    int chkRetry = 1;
    QString txtRetryTime = QStringLiteral("60");
    QString txtRetries = QStringLiteral("3");
    QString txtRollback = QStringLiteral("4");       // KB
    int chkSegment = 0;
    std::array<QString, 9> txtSegment{QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("5"),
                                      QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("15"),
                                      QStringLiteral("15"), QStringLiteral("20"), QStringLiteral("20")};  // MB
    bool optSameDir = false;
    QString txtSameDir;
    QString lblLastDir;
    bool optFileType = false;
    bool optFileInfo = false;
    QString txtParentDir;
    bool optServer = false;
    bool optDate = false;
    bool optFileExt = false;
    int chkFtpPASV = 0;
    int chkUseProxy = 0;
    QString txtProxyServer;
    QString txtProxyPort = QStringLiteral("80");
    int chkFTPProxy = 0;
    QString txtUserID;
    QString txtPass;
    int chkLogProx = 0;
    int chkPass = 0;
};

// The program-wide settings: the record, the values kept beside it, and the files and registry
// values they come from.
class SettingsStore final {
public:
    DownloadSettings record;
    QString LastSavePath;
    qint16 FileExistsAction = -2;
    QList<FileTypeFolder> fileTypes;
    QList<SiteLogin> logins;
    // Why "Settings.ini" could not be read by the last LoadfromINI; empty when it was read or is
    // missing. While that file is still there, SaveToINI leaves it alone rather than replace the
    // user's lists with the empty ones of this run.
    QString iniError;
    // The keyring entry of a proxy password that is kept but could not be read (no keyring in this
    // session), or that was not kept (proxyPasswordNotSaved); empty when there is none.
    QString unreadablePassword;
    // The proxy password was typed where no keyring ran and was not kept: the window asks for it
    // at its first use in a run.
    bool proxyPasswordNotSaved = false;
    // Downloads through the proxy need a password this run does not have: the window asks for it,
    // a download nobody watches and the command line fail.
    bool proxyPasswordWanted() const;
    // The password given for this run; remembered until the program ends, written nowhere.
    void useProxyPassword(const QString& password);

    // How LoadSettings gets the passwords kept in the keyring: waiting for it (the command lines),
    // or later (the window), filling the record and the logins when it answers.
    enum class PasswordReads { Wait, Later };
    // The proxy password question is open: the downloads that start meanwhile wait for its answer.
    void proxyQuestionOpened();
    // It was answered (given) or dismissed; useProxyPassword() comes first when it was given.
    void proxyQuestionClosed(bool given);
    // The keyring has not answered every read of LoadSettings(Later) yet, or the proxy password
    // question is open.
    bool passwordsPending() const { return passwordReads_ > 0 || proxyQuestionOpen_; }
    bool proxyQuestionOpen() const { return proxyQuestionOpen_; }
    // Calls then on the event loop once nothing is pending (at once when nothing is): given is false
    // when it was the proxy password question that ended dismissed. Nothing when context is gone.
    void whenPasswordsRead(QObject* context, std::function<void(bool given)> then);

    // Called first by LoadSettings so the settings dialog exists (it loads its own fields).
    std::function<void()> ensureDialog;

    static SettingsStore& instance();

    // The record from "Settings.ini" and the registry; FileExistsAction back to -2.
    void LoadSettings(PasswordReads reads = PasswordReads::Wait);
    // Both lists from "Settings.ini"; a missing file leaves them empty and LastSavePath as it was.
    void LoadfromINI(PasswordReads reads = PasswordReads::Wait);
    // Rewrites "Settings.ini" (atomically) from LastSavePath and both lists. False when it could not
    // be written or could not be read (see iniError). Through a symbolic link the file it points
    // to is replaced and the link stays.
    bool SaveToINI() const;
    // The folder of LastSavePath (the save rules' "last directory"); the default save folder when
    // LastSavePath names no folder.
    QString LastDirectory() const;
    // The dialog's OK and Apply: every option into the registry in its order, then SaveToINI.
    void SaveSettings(const SettingsDialogValues& values);
    // The passwords SaveSettings(values) will keep or take out, for the keyring to have them first:
    // SaveSettings then asks nothing of it.
    SecretStore::Passwords passwordsToKeep(const SettingsDialogValues& values) const;
    // The stored options as the settings dialog shows them (minutes, KB, MB; the dialog's own
    // proposals where nothing is stored).
    // The proxy password is left out where it is kept: proxyPasswordSetting() gives its keyring entry
    // and the value its settings file holds.
    static SettingsDialogValues dialogValues();
    static QPair<QString, QString> proxyPasswordSetting();
    // The keyring entry of a site login's password; also where History.ini's addresses keep theirs.
    static QString loginEntry(const QString& server, const QString& user);

    static QString settingsIniPath();

private:
    bool keepsProxyPassword(const SettingsDialogValues& values) const;
    // The keyring entries of the logins last read or written, so that a login deleted since
    // takes its password with it.
    mutable QSet<QString> loginEntries_;

    // The proxy password as the record holds it, and what is missing of it, from its settings value.
    void takeProxyPassword(const QString& storedPass, const QString& password);
    // A read of LoadSettings(Later) was answered.
    void readDone();
    // Runs the waiters once nothing is pending.
    void passwordsSettled(bool given);
    int passwordReads_ = 0;
    bool proxyQuestionOpen_ = false;
    // Each load's reads; an answer to an older load is dropped.
    int loads_ = 0;
    std::vector<std::function<void(bool)>> passwordWaiters_;
};

// Where files go until the user has chosen a folder: the desktop's download folder (the home
// folder when that does not exist). Never the application folder, which holds the program's files.
QString defaultSaveFolder();

// Start-up with the desktop: an entry named by the description that runs the program.
bool DoStartUp(const QString& fileName, const QString& description);
bool DoNotStartUp(const QString& fileName, const QString& description);
// The program the start-up entry runs: this executable.
QString startupProgramPath();

}  // namespace harbel

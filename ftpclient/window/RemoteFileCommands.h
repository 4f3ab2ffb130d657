#pragma once

#include "ftpclient/component/Listing.h"

#include <QList>
#include <QString>

namespace harbel::tessaly {

class frmMain;

// The main window's commands that change the remote side or talk to the server directly: delete
// (folders with all they hold), rename, create folder, move, manual receive and send, the raw
// command menu and the custom-command panel.
class RemoteFileCommands final {
public:
    explicit RemoteFileCommands(frmMain& main) : main_(main) {}

    void DeleteRemoteSelection();
    bool DeleteRemoteFolderRec(const QString& path);
    void RenameRemoteItem();
    void CreateRemoteFolder();
    void MoveRemoteSelection();
    void ManualReceive();
    void ManualSend();
    void sendMenuCommand(const QString& line);
    void mnuRemoteFtpCommandsCwd_Click();
    void mnuRemoteFtpCommandsQuote_Click();
    void mnuRemoteSendCommand_Click();
    void txtCommand_KeyPress(int keyAscii);
    void cmdCloseCommand_Click();

private:
    bool returnToRemoteFolder(const QString& folder);
    // The current folder listed with LIST, which shows links as links.
    QList<FolderItem> listWithLinks();
    void sendRawCommand(const QString& line, const QString& errorPrefix);
    void followServer(const QString& line);
    QString askCommandText(const QString& prompt);
    void manualTransfer(bool receive);

    frmMain& main_;
};

}  // namespace harbel::tessaly

#pragma once

#include "ftpclient/component/FileClash.h"
#include "ftpclient/component/Listing.h"
#include "ftpclient/component/TransferQueue.h"
#include "ftpclient/component/TransferQueueStore.h"
#include "ftpclient/window/QueuePanel.h"

#include <QSet>
#include <QString>

namespace harbel::tessaly {

class frmMain;

// The main window's transfers: the selections of both panes go into the transfer queue, which
// moves them on connections of its own while the session's connection stays free for browsing.
// Clashes with what is there already are asked about when the files are queued (frmExist, "Apply
// To All" for the selection); those a folder tree meets are asked as the queue reaches them. The
// status line and the tray show the whole queue; the lists are refreshed once the queue has changed
// the folders they show; the unfinished items are kept for the next start and offered again when
// the session reaches their site.
class QueueCommands final {
public:
    explicit QueueCommands(frmMain& main);
    ~QueueCommands();

    // The selected local files and folders into the listed remote folder.
    void uploadSelection();
    // The selected remote files and folders into the local folder shown.
    void downloadSelection();
    // The session is up: the queue logs in as it did, and what an earlier run left for this site
    // is offered (one question; declined, it stays kept).
    void sessionOpened();
    // The session ended: its transfers are cancelled (Retry resumes them).
    void sessionClosed();
    // The number of connections from the options.
    void applyOptions();
    // Leaving the program: what is unfinished is written now.
    void unload();

    TransferQueue queue;
    TransferQueueStore store;
    QueuePanel panel{queue};

private:
    // A clash asked before the file is queued: false when the whole selection is to stop (Cancel).
    bool settleClash(TransferItem& item, const FileClash& clash, bool& skip);
    int ask(const FileClash& clash);
    void itemChanged(int id);
    void finished();
    void showProgress();
    // The queue's login from the session as it is now (mode and passive may have changed).
    void refreshLogin();
    // Lists the remote folder again once the session is free.
    void refreshRemoteWhenFree();
    // The remote and local folders as the panes list them, for comparing with an item's folder.
    QString remoteFolder() const;

    frmMain& main_;
    // "Apply To All" of the queue's own questions, for one selection queued.
    bool checkAll_ = false;
    int allAnswer_ = FileClash::Skip;
    // Items that ran since the queue was last idle, and what they touched.
    QSet<int> ran_;
    bool remoteTouched_ = false;
    bool localTouched_ = false;
};

}  // namespace harbel::tessaly

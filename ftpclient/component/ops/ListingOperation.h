#pragma once

#include "ftpclient/component/Listing.h"
#include "ftpclient/component/ops/FtpOperation.h"

#include <QByteArray>
#include <QList>

namespace harbel::tessaly {

// A folder's listing: MLSD when the server offers it and the component's ListingOption allows it,
// LIST otherwise, received by a transfer into memory and then read entry by entry.
class ListingOperation final : public FtpOperation {
    Q_OBJECT
public:
    enum class State { Listing, Done };

    // path: the folder to list; empty for the current one.
    ListingOperation(FtpComponent& ftp, QString path);
    void start() override;
    // The entries, once finished.
    const QList<FolderItem>& items() const { return items_; }

protected:
    void parseReply(const FtpReply& reply) override;
    void subFinished(FtpOperation& sub) override;

private:
    State state_ = State::Listing;
    QString path_;
    bool mlsd_ = false;
    QByteArray reply_;
    QList<FolderItem> items_;
};

}  // namespace harbel::tessaly

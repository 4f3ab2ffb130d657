#include "ftpclient/component/ops/ListingOperation.h"

#include "ftpclient/component/FtpComponent.h"
#include "ftpclient/component/ops/TransferOperation.h"

namespace harbel::tessaly {

ListingOperation::ListingOperation(FtpComponent& ftp, QString path) : FtpOperation(ftp), path_(std::move(path)) {}

void ListingOperation::start()
{
    state_ = State::Listing;
    mlsd_ = ftp_.mlsd_ && ftp_.ListingOption == 1;
    TransferOperation::Request request;
    request.command = (mlsd_ ? QStringLiteral("MLSD") : QStringLiteral("LIST")) + (path_.isEmpty() ? QString() : QLatin1Char(' ') + path_);
    request.ascii = true;
    request.reportProgress = false;
    request.buffer = &reply_;
    runSub(std::make_unique<TransferOperation>(ftp_, request));
}

void ListingOperation::parseReply(const FtpReply&)
{
    // Every reply of a listing belongs to its transfer.
}

void ListingOperation::subFinished(FtpOperation& sub)
{
    if (sub.error())
        return fail(sub.error()->Number(), sub.error()->Description());
    items_ = listing::parseListing(reply_, mlsd_);
    reply_.clear();
    state_ = State::Done;
    succeed();
}

}  // namespace harbel::tessaly

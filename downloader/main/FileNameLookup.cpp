#include "downloader/main/FileNameLookup.h"

namespace harbel {

FileNameLookup::FileNameLookup(QObject* parent) : QObject(parent)
{
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] { end(name_); });
    // The job stops once it has the name, or when it cannot go on (an error status, a refused
    // login: no name then).
    connect(&job_, &DownloadJob::needsUser, this, [this] { end(name_); });
}

void FileNameLookup::start(const QString& address, int limitMs)
{
    address_ = address;
    name_.clear();
    running_ = true;
    job_.reset();
    job_.ParseURL(address);
    job_.strURL = address;
    job_.strSaveTo.clear();
    // The name ends the job before any file is touched: it is all that was asked for.
    job_.setNameSettler([this](const QString& name) {
        name_ = name;
        return SaveDecision{{}, -2, QStringLiteral("-")};
    });
    limit_.start(limitMs);
    job_.start();
}

void FileNameLookup::end(const QString& name)
{
    if (!running_)
        return;
    running_ = false;
    limit_.stop();
    {
        const QSignalBlocker blocker(job_);
        job_.close();
    }
    emit found(address_, name);
}

}  // namespace harbel

#include "ftpclient/app/TransferRun.h"

#include "ftpclient/app/ConsoleOutput.h"
#include "ftpclient/component/FtpComponent.h"

#include <QFileInfo>

namespace harbel::tessaly {

TransferRun::TransferRun(const FtpComponent& login, int parallel, bool resume, ConsoleOutput& out)
    : login_(login), parallel_(parallel), resume_(resume), out_(out)
{
}

TransferRun::~TransferRun() = default;

bool TransferRun::run()
{
    // Stand-in until the transfer queue joins: one connection, one file after another.
    FtpComponent ftp;
    ftp.Host = login_.Host;
    ftp.Port = login_.Port;
    ftp.User = login_.User;
    ftp.Password = login_.Password;
    ftp.Passive = login_.Passive;
    ftp.UseTls = login_.UseTls;
    ftp.TimeoutSeconds = login_.TimeoutSeconds;
    QObject::connect(&ftp, &FtpComponent::FileExists, &ftp, [this](const FileClash&, int& answer) {
        answer = resume_ ? FileClash::Resume : FileClash::Overwrite;
    });
    try {
        ftp.Connect();
    } catch (const FtpError& e) {
        out_.error(QStringLiteral("tessaly: ") + e.Description());
        failures_ = int(files_.size());
        return false;
    }
    for (const File& f : files_) {
        try {
            if (f.upload)
                ftp.SendFile(f.local, resume_ ? -1 : 0, f.remote, false);
            else
                ftp.ReceiveFile(f.remote, 0, f.local);
            bytesMoved_ += QFileInfo(f.local).size();
            out_.info((f.upload ? QStringLiteral("Sent %1 -> %2") : QStringLiteral("Received %2 -> %1")).arg(f.local, f.remote));
        } catch (const FtpError& e) {
            ++failures_;
            out_.error(QStringLiteral("Failed: %1: %2").arg(f.upload ? f.local : f.remote, e.Description()));
        }
    }
    ftp.Disconnect();
    return failures_ == 0;
}

}  // namespace harbel::tessaly

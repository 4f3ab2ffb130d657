#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace harbel::tessaly {

// Error numbers of the FTP component. Every failed method raises an FtpError with one of these
// numbers and a description a user can read.
enum FtpErrorNumber : qint64 {
    ftpErrAborted = 0x8004201E,          // AbortFlag was set while the operation ran
    ftpErrNotConnected = 0x80042001,
    ftpErrConnectFailed = 0x80042002,
    ftpErrConnectionLost = 0x80042003,
    ftpErrTimedOut = 0x80042004,
    ftpErrServerRefused = 0x80042005,    // a negative reply; the description holds the server's text
    ftpErrProtocol = 0x80042006,         // a reply that makes no sense at this point
    ftpErrLoginFailed = 0x80042007,
    ftpErrDataConnection = 0x80042008,
    ftpErrLocalFile = 0x80042009,
    ftpErrUnsafeName = 0x8004200A,
    ftpErrBusy = 0x8004200B,             // a method was called while another one runs
    ftpErrIncomplete = 0x8004200C,       // fewer bytes arrived than the server announced
    ftpErrProxy = 0x8004200D,
    ftpErrTls = 0x8004200E,              // FTP over TLS was asked for and could not be set up
    ftpErrCertificate = 0x8004200F,      // the server's certificate was refused
    ftpErrHostKey = 0x80042010,          // the SSH server's host key is unknown and was not accepted, or has changed
};

class FtpError final : public std::exception {
public:
    FtpError(qint64 number, QString description)
        : number_(number), description_(std::move(description)), what_(description_.toUtf8())
    {
    }
    qint64 Number() const { return number_; }
    const QString& Description() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    qint64 number_;
    QString description_;
    QByteArray what_;
};

// What a file-skipped event reports as its reason.
enum FtpSkipReason : qint64 {
    ftpSkipUnsafeName = 0x80042101,
    ftpSkipNotReplaced = 0x80042102,
    ftpSkipLocalLink = 0x80042103,
    ftpSkipNotRegular = 0x80042104,
};

}  // namespace harbel::tessaly

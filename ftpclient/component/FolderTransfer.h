#pragma once

#include <QString>

namespace harbel::tessaly {

class FtpComponent;

// The folder trees of FtpComponent::ReceiveFiles and SendFiles: a tree walk whose hooks receive or
// send each file through the component's own methods and raise its events for what is skipped.
class FolderTransfer final {
public:
    explicit FolderTransfer(FtpComponent& ftp) : ftp_(ftp) {}

    // The files of the current remote folder that match mask into localFolder; with recurse the
    // sub-folders too, into local folders of the same names (merged into when they exist, each
    // existing file asked about by ReceiveFile).
    void receive(const QString& localFolder, const QString& mask, bool recurse);
    // The files of localFolder that match mask into the current remote folder; with recurse the
    // sub-folders too, made on the server when missing. A file that would replace a different one
    // of the same name is asked about first. madeFolder: the current remote folder was just made,
    // so there is nothing in it to list.
    void send(const QString& localFolder, const QString& mask, bool recurse, bool madeFolder = false);

private:
    void skip(const QString& localName, const QString& remoteName, qint64 reason, const QString& why);

    FtpComponent& ftp_;
};

}  // namespace harbel::tessaly

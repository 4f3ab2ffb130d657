#pragma once

#include <QtGlobal>

#include <functional>
#include <vector>

struct sftp_file_struct;

namespace harbel {

// Reads an open SFTP file with a window of read requests in flight, so that the round trips
// overlap. Requests go out ahead of the replies, each for the next chunk; replies come in order.
// A reply shorter than asked before the end (a server that caps its reads) drops the requests
// after it and goes on from where it ended, with chunks of the size the server gives. A known size
// ends the reading once it has come; without one, it goes on until the server says it has reached
// the end.
//
// The file may be opened through several SFTP sessions of one SSH connection: each is a channel
// with its own flow-control window, which libssh keeps small, so the chunks are asked of them in
// turn (window requests in flight on each) and still come out in order.
class SftpReader final {
public:
    enum class End { Done, Failed, Stopped };

    // Takes one block in order, with the position after it; false stops the reading. An exception
    // it throws stops the reading too and goes on to the caller. Either way the requests still in
    // flight are answered first, so that the session stays whole.
    using Take = std::function<bool(const char* data, qint64 size, qint64 position)>;

    SftpReader(sftp_file_struct* file, quint32 chunk, int window) : files_{file}, chunk_(chunk), window_(window) {}
    // The same file, opened through each session (at least one).
    SftpReader(std::vector<sftp_file_struct*> files, quint32 chunk, int window)
        : files_(std::move(files)), chunk_(chunk), window_(window)
    {
    }

    // From offset to size (-1: to the end the server names). Failed: the session's error says why.
    End read(qint64 offset, qint64 size, const Take& take);
    // The position reached.
    qint64 position() const { return done_; }

private:
    std::vector<sftp_file_struct*> files_;
    quint32 chunk_;
    int window_;
    qint64 done_ = 0;
};

}  // namespace harbel

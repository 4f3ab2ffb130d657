#include "common/ssh/SftpReader.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <deque>
#include <vector>

namespace harbel {

SftpReader::End SftpReader::read(qint64 offset, qint64 size, const Take& take)
{
    done_ = offset;
    quint32 chunk = chunk_;
    std::vector<char> buffer(chunk);
    struct Request {
        sftp_file file;
        int id;
        quint32 length;
    };
    std::deque<Request> pending;
    qint64 requested = offset;
    // The file (and so the channel) the next request goes to: they take turns.
    std::size_t next = 0;
    const int inFlight = window_ * int(files_.size());
    const auto drain = [&] {
        while (!pending.empty()) {
            const Request r = pending.front();
            pending.pop_front();
            if (sftp_async_read(r.file, buffer.data(), r.length, uint32_t(r.id)) < 0)
                break;
        }
    };
    while (size < 0 || done_ < size) {
        while (int(pending.size()) < inFlight && (size < 0 || requested < size)) {
            sftp_file file = files_[next];
            next = (next + 1) % files_.size();
            // A request reads from its file's own offset: each is placed where the chunk begins.
            if (sftp_seek64(file, quint64(requested)) != 0)
                return End::Failed;
            const int id = sftp_async_read_begin(file, chunk);
            if (id < 0)
                return End::Failed;
            pending.push_back({file, id, chunk});
            requested += chunk;
        }
        if (pending.empty())
            break;
        const Request r = pending.front();
        pending.pop_front();
        const int got = sftp_async_read(r.file, buffer.data(), r.length, uint32_t(r.id));
        if (got < 0)
            return End::Failed;
        if (got == 0) {
            drain();
            break;
        }
        done_ += got;
        bool goOn = true;
        try {
            goOn = take(buffer.data(), got, done_);
        } catch (...) {
            drain();
            throw;
        }
        if (!goOn) {
            drain();
            return End::Stopped;
        }
        if (quint32(got) < r.length) {
            drain();
            chunk = quint32(got);
            requested = done_;
        }
    }
    return End::Done;
}

}  // namespace harbel

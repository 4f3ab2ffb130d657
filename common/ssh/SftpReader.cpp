#include "common/ssh/SftpReader.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <deque>
#include <vector>

namespace harbel {

SftpReader::End SftpReader::read(qint64 offset, qint64 size, const Take& take)
{
    done_ = offset;
    if (offset > 0 && sftp_seek64(file_, quint64(offset)) != 0)
        return End::Failed;
    quint32 chunk = chunk_;
    std::vector<char> buffer(chunk);
    std::deque<std::pair<int, quint32>> pending;
    qint64 requested = offset;
    const auto drain = [&] {
        while (!pending.empty()) {
            const auto [id, length] = pending.front();
            pending.pop_front();
            if (sftp_async_read(file_, buffer.data(), length, uint32_t(id)) < 0)
                break;
        }
    };
    while (size < 0 || done_ < size) {
        while (int(pending.size()) < window_ && (size < 0 || requested < size)) {
            const int id = sftp_async_read_begin(file_, chunk);
            if (id < 0)
                return End::Failed;
            pending.emplace_back(id, chunk);
            requested += chunk;
        }
        if (pending.empty())
            break;
        const auto [id, length] = pending.front();
        pending.pop_front();
        const int got = sftp_async_read(file_, buffer.data(), length, uint32_t(id));
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
        if (quint32(got) < length) {
            drain();
            chunk = quint32(got);
            requested = done_;
            if (sftp_seek64(file_, quint64(done_)) != 0)
                return End::Failed;
        }
    }
    return End::Done;
}

}  // namespace harbel

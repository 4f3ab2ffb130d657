#pragma once

#include <QtGlobal>

namespace harbel {

// The logins in a row that brought no byte beyond the furthest point a download reached: an FTP
// or SFTP server that keeps closing the connection without sending anything new is given up on.
class EmptyLogins final {
public:
    static constexpr int kMax = 5;

    void reset() { *this = EmptyLogins(); }
    // Counts a login that ended at pos; false once kMax in a row have brought nothing new.
    bool another(qint64 pos)
    {
        if (pos > furthest_) {
            furthest_ = pos;
            count_ = 0;
            return true;
        }
        return ++count_ < kMax;
    }

private:
    int count_ = 0;
    qint64 furthest_ = -1;
};

}  // namespace harbel

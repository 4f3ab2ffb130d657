#pragma once

#include "ftpclient/component/ops/FtpOperation.h"

#include <QList>

#include <optional>

namespace harbel::tessaly {

// Commands sent one after another; each must be answered positively (2xx, or 3xx where the step
// says so). The last reply is kept for the caller. The state is the step that waits for its reply.
class CommandOperation final : public FtpOperation {
    Q_OBJECT
public:
    struct Step {
        QString command;
        bool intermediateOk = false;  // 3xx accepted (RNFR)
    };
    CommandOperation(FtpComponent& ftp, QList<Step> steps);
    void start() override;
    const FtpReply& lastReply() const { return last_; }

protected:
    void parseReply(const FtpReply& reply) override;

private:
    QList<Step> steps_;
    qsizetype index_ = 0;
    FtpReply last_;
};

// The folder of a 257 reply ("257 \"/a \"\"b\"\"\" is current"), quotes undoubled.
std::optional<QString> parsePwdReply(const FtpReply& reply);

}  // namespace harbel::tessaly

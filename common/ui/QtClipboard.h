#pragma once

#include "common/platform/Clipboard.h"

namespace harbel {

// The desktop's clipboard.
class QtClipboard final : public Clipboard {
public:
    QString text() const override;
    void setText(const QString& text) override;
};

}  // namespace harbel

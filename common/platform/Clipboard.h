#pragma once

#include <QString>

namespace harbel {

// The clipboard's text. The window mode puts the desktop's clipboard behind it; without a display
// (tests, the command line) the text is kept in memory.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;

    static Clipboard& instance();
    static void setInstance(Clipboard* clipboard);
};

class MemoryClipboard final : public Clipboard {
public:
    QString text() const override { return text_; }
    void setText(const QString& text) override { text_ = text; }

private:
    QString text_;
};

}  // namespace harbel

#include "common/platform/Clipboard.h"

namespace harbel {

namespace {
Clipboard* g_clipboard = nullptr;
}

Clipboard& Clipboard::instance()
{
    static MemoryClipboard memory;
    return g_clipboard ? *g_clipboard : memory;
}

void Clipboard::setInstance(Clipboard* clipboard)
{
    g_clipboard = clipboard;
}

}  // namespace harbel

#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <functional>

namespace harbel {

// The browser side of the hand-over: a web browser starts `pellanor --native-messaging` for the
// extension and speaks to it in frames, a 32-bit length in this machine's byte order followed by
// that many bytes of UTF-8 JSON, both ways. Each message {"url": "...", "capture": bool} gets one
// answer: {"ok": true, "taken": bool} or {"ok": false, "error": "..."}. A link the user chose
// ("capture" false) is always handed to the window; a download the browser started ("capture"
// true) only while click capture is on and when its server and type pass the filters, otherwise
// the browser keeps it.
class NativeMessagingHost final {
public:
    // Longest message taken; a longer length ends the host (the stream cannot be trusted after it).
    static constexpr quint32 kMaxMessage = 1024 * 1024;

    enum class Frame { Read, End, Truncated, TooLong };
    static Frame readFrame(std::FILE* in, QByteArray& body);
    static bool writeFrame(std::FILE* out, const QJsonObject& message);

    // Delivers an address to the download manager's window; true when the window took it.
    std::function<bool(const QString& url)> handOver;
    // Whether a download the browser started is one the user wants captured.
    std::function<bool(const QString& url)> wantsCapture;

    // The answer to one message body; hands its address over when it is one to take.
    QJsonObject answer(const QByteArray& body);
    // Answers messages until the browser closes the stream (0) or a frame is broken (1).
    int run(std::FILE* in, std::FILE* out);
};

// Hands an address to the running window through its locator, starting the window when none runs
// and waiting up to waitMs for it to take the address.
bool handToWindow(const QString& url, int waitMs = 20000);

// Whether the stored settings capture this browser download: click capture on, the server not
// ignored and the type wanted.
bool captureWanted(const QString& url);

// `pellanor --native-messaging`: the host on standard input and output.
int runNativeMessagingHost(int argc, char* argv[]);

}  // namespace harbel

#pragma once

#include <QString>

#include <cstdio>

namespace harbel::tessaly {

// Where the command line writes: lines on the standard output (what was done) and the standard
// error (what went wrong), and on a terminal one live progress line that each other line ends
// first. Quiet: only the lines on the standard error.
class ConsoleOutput final {
public:
    ConsoleOutput(std::FILE* out, std::FILE* err, bool terminal, bool quiet)
        : out_(out), err_(err), terminal_(terminal), quiet_(quiet)
    {
    }

    void info(const QString& text);
    // A line that is the command's answer (a listing): written even when quiet.
    void answer(const QString& text);
    void error(const QString& text);
    // Redraws the progress line (only on a terminal, and not when quiet).
    void progress(const QString& text);
    void endProgress();
    // Lines per file done are for logs and pipes; a terminal has the progress line.
    bool showsProgress() const { return terminal_ && !quiet_; }
    bool quiet() const { return quiet_; }

    // A name as a line may show it: control characters become "?".
    static QString printable(const QString& name);

private:
    void write(std::FILE* stream, const QString& text);

    std::FILE* out_;
    std::FILE* err_;
    bool terminal_;
    bool quiet_;
    bool lineOpen_ = false;
};

}  // namespace harbel::tessaly

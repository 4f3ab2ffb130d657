#pragma once

#include <QString>
#include <QtGlobal>

namespace harbel {

// The file a download writes into. Every connection writes at its own offset through one handle;
// the file is created empty when it is missing and never shortened unless asked. A failure leaves
// one text that says what could not be written and why.
class OutputFile final {
public:
    explicit OutputFile(QString path = {}) : path_(std::move(path)) {}
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void setPath(const QString& path);
    const QString& path() const { return path_; }

    bool open();
    bool isOpen() const { return fd_ >= 0; }
    void close();
    // Writes all of data at offset.
    bool write(qint64 offset, const char* data, qint64 size);
    bool resize(qint64 size);
    // The bytes written so far are on the disk, not only in the system's cache.
    bool sync();
    // The length of the file now at the path (-1 when there is none).
    qint64 sizeOnDisk() const;

    // "The file could not be written: PATH: reason" for the last failure.
    const QString& failure() const { return failure_; }
    // The system's error number and description of the last failure, for the message box.
    int errorNumber() const { return errno_; }
    const QString& errorDescription() const { return description_; }

private:
    bool fail(int error);

    QString path_;
    int fd_ = -1;
    int errno_ = 0;
    QString description_;
    QString failure_;
};

}  // namespace harbel

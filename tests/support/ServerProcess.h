#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace harbel::test {

// A free TCP port on the loopback address at the time of asking; 0 when there is none.
quint16 freeLoopbackPort();

// A Debian server program run for a test (nginx, tinyproxy): started with its arguments, ready
// once it accepts connections on the given loopback port, ended with the object.
class ServerProcess final {
public:
    ServerProcess() = default;
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts program and waits until port accepts connections; false, with why, when the program
    // did not start, ended, or did not listen in time.
    bool start(const QString& program, const QStringList& arguments, quint16 port, QString* why);
    // Ends the program: terminated, then killed when it does not end.
    void stop();

private:
    std::unique_ptr<QProcess> process_;
};

}  // namespace harbel::test

#pragma once

#include <QLockFile>
#include <QObject>

#include <memory>

class QLocalServer;

namespace harbel {

// One running copy of a program per application folder: a lock file in the application folder,
// and a local socket named after the program's locator window (and the folder) through which
// another copy hands text over to the running one.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // program: "Pellanor" or "Tessaly"; locator: the name of the hand-over endpoint.
    SingleInstance(const QString& program, const QString& locator, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when no other copy holds the lock (a lock left by a crashed copy is taken over).
    bool acquire();
    bool isPrimary() const { return primary_; }

    // Starts receiving hand-overs; only the primary copy listens.
    bool listen();
    // Sends one text to the running copy; true when it was delivered.
    bool send(const QString& text, int timeoutMs = 3000) const;
    // Asks the running copy to show its window (raiseRequested there); true when it was asked.
    bool raiseRunning(int timeoutMs = 3000) const;

    QString serverName() const;

signals:
    void received(const QString& text);
    // Another copy was started: the user wants to see this one.
    void raiseRequested();

private:
    QString program_;
    QString locator_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool primary_ = false;
};

}  // namespace harbel

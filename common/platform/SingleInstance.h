#pragma once

#include <QLockFile>
#include <QObject>
#include <QStringList>

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

    enum class Start { Primary, HandedOver, NoAnswer };
    // The start of a copy: Primary when it holds the lock now; HandedOver when the running copy
    // took text (an empty text asks it to show its window). A running copy that is still starting
    // (it holds the lock but does not listen yet) or ending (the lock comes free) is tried again
    // every few tenths of a second for waitMs; NoAnswer when it never answered. Nothing is shown.
    Start primaryOrHandOver(const QString& text, int waitMs);
    bool isPrimary() const { return primary_; }

    // Starts receiving hand-overs; only the primary copy listens. Texts that come before anything
    // is connected to received() are kept and handed on once something is.
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

protected:
    void connectNotify(const QMetaMethod& signal) override;

private:
    void deliver(const QString& text);

    QStringList waiting_;
    QString program_;
    QString locator_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool primary_ = false;
};

}  // namespace harbel

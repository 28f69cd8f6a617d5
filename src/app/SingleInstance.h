#pragma once
// One Pelko per configuration folder: two would show two windows and two
// tray icons and write the same files. The first start holds a lock in the
// user's runtime folder and listens on a local socket beside it; a later
// start for the same folder finds the lock taken, asks the running Pelko to
// bring its window forward, and ends.
#include <QObject>

#include <functional>
#include <string>

class QLocalServer;

namespace pelko {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // configDir: where Pelko.ini and Accounts.ini live (the name of the lock
    // and the socket is made from its canonical path).
    explicit SingleInstance(const std::string& configDir);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True: this process is the one Pelko for the folder and now takes the
    // requests of later starts (also when the lock cannot be made at all:
    // then nothing is enforced). False: another Pelko runs for the folder;
    // it has been asked to come forward (waiting a few seconds at most).
    bool Claim();

    // Called (from the event loop) when a later start asks to come forward.
    std::function<void()> OnRaise;

    // The lock file and the socket, in the user's runtime folder.
    const std::string& lockPath() const { return lockPath_; }
    const std::string& socketPath() const { return socketPath_; }

private:
    void askRunningOne();

    std::string lockPath_, socketPath_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
};

} // namespace pelko

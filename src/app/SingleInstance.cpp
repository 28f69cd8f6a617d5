#include "app/SingleInstance.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pelko {

namespace {

// How long a later start tries to reach the running Pelko (which may still
// be starting up and not listen yet).
constexpr int kAskForMs = 5000;

std::string runtimeFolder()
{
    // $XDG_RUNTIME_DIR, or a private folder Qt makes when it is not set.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString();
}

} // namespace

SingleInstance::SingleInstance(const std::string& configDir)
{
    const QFileInfo dir(QString::fromStdString(configDir));
    const QString canonical = dir.canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash((canonical.isEmpty() ? dir.absoluteFilePath() : canonical).toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(16);
    const std::string base = runtimeFolder() + "/pelko-" + key.toStdString();
    lockPath_ = base + ".lock";
    socketPath_ = base + ".socket";
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close(); // removes the socket file
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

bool SingleInstance::Claim()
{
    if (runtimeFolder().empty())
        return true;
    // The kernel drops the lock with the process, however it ends: a lock
    // or socket file left by a crashed run blocks nothing. Not inherited by
    // the programs Pelko starts.
    lockFd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        std::fprintf(stderr, "Pelko: cannot make %s: %s\n", lockPath_.c_str(), std::strerror(errno));
        return true;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd_);
        lockFd_ = -1;
        askRunningOne();
        return false;
    }
    QLocalServer::removeServer(QString::fromStdString(socketPath_)); // left by a run that crashed
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(QString::fromStdString(socketPath_))) {
        std::fprintf(stderr, "Pelko: cannot listen on %s: %s\n", socketPath_.c_str(),
                     server_->errorString().toLocal8Bit().constData());
        return true;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        // Whatever a caller sends is not read: a connection is the request.
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            s->abort();
            s->deleteLater();
        }
        if (OnRaise)
            OnRaise();
    });
    return true;
}

void SingleInstance::askRunningOne()
{
    const QDeadlineTimer deadline(kAskForMs);
    while (!deadline.hasExpired()) {
        QLocalSocket s;
        s.connectToServer(QString::fromStdString(socketPath_));
        if (s.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
            // The running one closes the connection once it has the request.
            s.waitForDisconnected(int(std::max<qint64>(deadline.remainingTime(), 1)));
            return;
        }
        QThread::msleep(100); // it holds the lock but does not listen yet
    }
    std::fprintf(stderr, "Pelko: another Pelko runs for this folder but did not answer\n");
}

} // namespace pelko

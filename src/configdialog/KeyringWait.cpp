#include "configdialog/KeyringWait.h"

#include "config/Keyring.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

#include <memory>

namespace pelko {

const char* const kKeyringWaitCancelled = "Waiting for the desktop keyring was cancelled.";

namespace {

// The note shows once the wait has taken this long.
constexpr int kNoteAfterMs = 400;

struct Cancelled {};

// The keyring's idle: runs the events (no input before the note is up, so
// nothing in the dialog changes under the question) and raises Cancelled
// once the note's Cancel was pressed or the note closed.
class Waiting {
public:
    explicit Waiting(QWidget* owner) : owner_(owner) { since_.start(); }
    ~Waiting()
    {
        if (note_)
            note_->hide();
    }

    void operator()()
    {
        if (!note_ && since_.elapsed() >= kNoteAfterMs) {
            note_ = std::make_unique<QProgressDialog>(QStringLiteral("Waiting for the desktop keyring..."),
                                                      QStringLiteral("Cancel"), 0, 0, owner_);
            note_->setWindowTitle(QStringLiteral("Pelko"));
            note_->setWindowModality(Qt::ApplicationModal);
            note_->setMinimumDuration(0);
            note_->show();
        }
        QCoreApplication::processEvents(note_ ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        if (note_ && (note_->wasCanceled() || !note_->isVisible()))
            throw Cancelled{};
    }

private:
    QPointer<QWidget> owner_;
    QElapsedTimer since_;
    std::unique_ptr<QProgressDialog> note_;
};

} // namespace

std::optional<std::string> LookupWaiting(QWidget* owner, const std::string& account, const std::string& host,
                                         std::string* why)
{
    Waiting wait(owner);
    try {
        return keyring::Lookup(account, host, keyring::kDefaultWaitMs, [&wait] { wait(); }, why);
    } catch (const Cancelled&) {
        if (why)
            *why = kKeyringWaitCancelled;
        return std::nullopt;
    }
}

bool StoreWaiting(QWidget* owner, const std::string& account, const std::string& host, const std::string& password,
                  std::string* why)
{
    Waiting wait(owner);
    try {
        return keyring::Store(account, host, password, why, keyring::kDefaultWaitMs, [&wait] { wait(); });
    } catch (const Cancelled&) {
        if (why)
            *why = kKeyringWaitCancelled;
        return false;
    }
}

bool RemoveWaiting(QWidget* owner, const std::string& account, const std::string& host)
{
    Waiting wait(owner);
    try {
        return keyring::Remove(account, host, keyring::kDefaultWaitMs, [&wait] { wait(); });
    } catch (const Cancelled&) {
        return false;
    }
}

} // namespace pelko

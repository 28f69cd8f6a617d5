#include "configdialog/KeyringWait.h"

#include "config/Keyring.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

#include <functional>
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

// What ask returns, given the idle to pass on; cancelled (with why set)
// when the user cancelled.
template <class Result, class Ask>
Result Asked(QWidget* owner, std::string* why, Result cancelled, Ask ask)
{
    Waiting wait(owner);
    try {
        return ask([&wait] { wait(); });
    } catch (const Cancelled&) {
        if (why)
            *why = kKeyringWaitCancelled;
        return cancelled;
    }
}

} // namespace

std::optional<std::string> LookupWaiting(QWidget* owner, const std::string& account, const std::string& host,
                                         std::string* why)
{
    return Asked(owner, why, std::optional<std::string>(), [&](const std::function<void()>& idle) {
        return keyring::Lookup(account, host, keyring::kDefaultWaitMs, idle, why);
    });
}

bool StoreWaiting(QWidget* owner, const std::string& account, const std::string& host, const std::string& password,
                  std::string* why)
{
    return Asked(owner, why, false, [&](const std::function<void()>& idle) {
        return keyring::Store(account, host, password, why, keyring::kDefaultWaitMs, idle);
    });
}

bool RemoveWaiting(QWidget* owner, const std::string& account, const std::string& host)
{
    return Asked(owner, nullptr, false, [&](const std::function<void()>& idle) {
        return keyring::Remove(account, host, keyring::kDefaultWaitMs, idle);
    });
}

} // namespace pelko

#pragma once
// The watch of one account (see MailWatch.h): its thread, its connection,
// its pauses, and what it has told. Only MailWatch makes these.
#include "session/MailWatch.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace pelko {

class TWireIMAP;

// Where the watches' events go: to the owner's post function, run on the
// owner's thread only while the MailWatch that made them has not stopped.
struct WatchSink : std::enable_shared_from_this<WatchSink> {
    MailWatch::Post post;
    bool alive = true; // read and written on the owner's thread only
    std::function<void(const WatchNews&)> onNewMail;
    std::function<void(const WatchCount&)> onCount;
    std::function<void(const WatchStateEvent&)> onState;

    void Tell(WatchNews e);
    void Tell(WatchCount e);
    void Tell(WatchStateEvent e);
};

class AccountWatch {
public:
    AccountWatch(WatchedAccount account, const WatchSettings& settings, std::shared_ptr<WatchSink> sink,
                 std::shared_ptr<const SeenIds> seen);
    ~AccountWatch(); // RequestStop, Join
    AccountWatch(const AccountWatch&) = delete;
    AccountWatch& operator=(const AccountWatch&) = delete;

    void Start();
    // Asks the thread to end: a wait ends within one waiting slice, a pause at once.
    void RequestStop();
    void Join();
    bool Running() const { return running_; }

private:
    enum class Outcome { NoIdle, Failed };
    void Run();
    // One connection, from the sign-in to its end: returns when watching
    // this account makes no sense any more, raises when the connection failed.
    Outcome Watch(TWireIMAP& c);
    // Lists the unseen messages, tells what is new and the count.
    void Compare(TWireIMAP& c, uint32_t uidValidity);
    // Waits ms (false: cut short by a stop).
    bool Pause(std::chrono::milliseconds ms);
    // Waits up to ms for the quiet connection to have something to read
    // (true), with no wakeup in between; a stop raises EWireCancelled.
    bool Quiet(TWireIMAP& c, std::chrono::milliseconds ms);
    // Called in every waiting slice of the connection.
    void Hook(TWireIMAP& c);
    void Say(WatchState state, const std::string& text = {}, int pauseMs = 0, const std::string& fingerprint = {});

    WatchedAccount account_;
    WatchSettings settings_;
    std::shared_ptr<WatchSink> sink_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    int wakeFd_ = -1; // readable once a stop is asked for
    std::thread thread_;

    // The thread's own.
    std::shared_ptr<const SeenIds> firstSeen_; // the owner's record, for the first comparison
    SeenIds told_;                             // what this watch listed last
    int32_t lastUnseen_ = -1;
    bool resumed_ = false;  // the machine slept: the connection is reopened at once
    int64_t sleptBase_ = 0; // time asleep as last seen (boot-time clock less the monotonic one)
    WatchState lastState_ = WatchState::Failed;
    bool saidAny_ = false;
};

} // namespace pelko

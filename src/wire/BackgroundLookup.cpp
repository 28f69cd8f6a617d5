#include "wire/BackgroundLookup.h"

#include "wire/SocketErrors.h"
#include "wire/WireErrors.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace pelko {

namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(30);

// Shared by the waiting caller and the lookup thread, which may outlive it.
struct LookupState {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::vector<ResolvedAddress> addresses;
    std::exception_ptr failure;
};

std::vector<ResolvedAddress> Answer(LookupState& state)
{
    if (!state.failure)
        return std::move(state.addresses);
    try {
        std::rethrow_exception(state.failure);
    } catch (const EWireSocketError& e) {
        SetLastSocketError(e.Code);
        throw;
    }
}

} // namespace

std::vector<ResolvedAddress> LookUpWhileIdle(const AddressResolver& resolver, const std::string& host,
                                             uint16_t port, int timeoutMs, const std::function<void()>& idle)
{
    auto state = std::make_shared<LookupState>();
    try {
        std::thread([state, resolver, host, port] {
            std::vector<ResolvedAddress> addresses;
            std::exception_ptr failure;
            try {
                addresses = resolver(host, port);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard<std::mutex> hold(state->lock);
            state->addresses = std::move(addresses);
            state->failure = failure;
            state->done = true;
            state->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: look up here and now rather than not at all.
        return resolver(host, port);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(state->lock);
            auto until = std::chrono::steady_clock::now() + kWaitSlice;
            if (timeoutMs > 0 && deadline < until)
                until = deadline;
            state->finished.wait_until(hold, until, [&] { return state->done; });
            if (state->done)
                return Answer(*state);
        }
        if (timeoutMs > 0 && std::chrono::steady_clock::now() >= deadline) {
            SetLastSocketError(kWsaTimedOut);
            throw EWireSocketError(kWsaTimedOut);
        }
        if (idle)
            idle();
    }
}

} // namespace pelko

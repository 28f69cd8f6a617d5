#pragma once
// A system bus of the test's own (dbus-daemon, no service files read) with
// the tests' login manager and NetworkManager on it
// (tests/support/fake-logind.py, fake-networkmanager.py), driven through
// dbus-send.
#include <string>
#include <sys/types.h>
#include <vector>

namespace pelko::test {

class FakeSystemBus {
public:
    FakeSystemBus();
    ~FakeSystemBus();
    FakeSystemBus(const FakeSystemBus&) = delete;
    FakeSystemBus& operator=(const FakeSystemBus&) = delete;

    bool ok() const { return ok_; }
    const std::string& address() const { return address_; }

    // logind's record so far ("inhibit sleep WHO delay", "released", ...).
    std::string LoginLog();
    // PrepareForSleep(start) from the login manager.
    void Sleep(bool start);
    // NetworkManager's state (70 online, 20 disconnected) over a device of
    // the type given (1 Ethernet, 2 Wi-Fi: another type is another network).
    void SetNetwork(unsigned state, unsigned deviceType);

private:
    struct Child {
        pid_t pid = -1;
        int out = -1;
    };
    Child Spawn(const std::vector<std::string>& argv);
    std::string Send(const std::string& dest, const std::string& object, const std::string& method,
                     const std::vector<std::string>& args);

    std::string address_;
    std::vector<Child> children_;
    bool ok_ = false;
};

} // namespace pelko::test

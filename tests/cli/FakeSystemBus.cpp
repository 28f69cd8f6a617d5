#include "FakeSystemBus.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelko::test {

namespace {

// A line from fd within ms; empty when none came.
std::string LineFrom(int fd, int ms)
{
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            return "";
        char c = 0;
        if (::read(fd, &c, 1) != 1)
            return "";
        if (c == '\n')
            return line;
        line += c;
    }
}

} // namespace

FakeSystemBus::Child FakeSystemBus::Spawn(const std::vector<std::string>& argv)
{
    Child child;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return child;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawnp(&child.pid, args[0], &fa, nullptr, args.data(), environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    child.out = fds[0];
    children_.push_back(child);
    return child;
}

FakeSystemBus::FakeSystemBus()
{
    const char* source = std::getenv("PELKO_SOURCE_DIR");
    const std::string support = std::string(source ? source : ".") + "/tests/support/";
    const Child daemon =
        Spawn({"dbus-daemon", "--config-file=" + support + "private-system-bus.conf", "--nofork", "--nopidfile", "--print-address=1"});
    address_ = LineFrom(daemon.out, 10000);
    if (address_.empty())
        return;
    for (const char* fake : {"fake-logind.py", "fake-networkmanager.py"})
        if (LineFrom(Spawn({"/usr/bin/python3", support + fake, address_}).out, 10000) != "ready")
            return;
    ok_ = true;
}

FakeSystemBus::~FakeSystemBus()
{
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        if (it->pid > 0) {
            ::kill(it->pid, SIGTERM);
            ::waitpid(it->pid, nullptr, 0);
        }
        ::close(it->out);
    }
}

std::string FakeSystemBus::Send(const std::string& dest, const std::string& object, const std::string& method,
                                const std::vector<std::string>& args)
{
    std::string command = "dbus-send --bus='" + address_ + "' --print-reply --reply-timeout=5000 --dest=" + dest +
                          " " + object + " " + method;
    for (const std::string& a : args)
        command += " " + a;
    std::string reply;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            reply.append(buf, n);
        ::pclose(p);
    }
    return reply;
}

std::string FakeSystemBus::LoginLog()
{
    return Send("org.freedesktop.login1", "/org/example/FakeLogind", "org.example.FakeLogind.Log", {});
}

void FakeSystemBus::Sleep(bool start)
{
    Send("org.freedesktop.login1", "/org/example/FakeLogind", "org.example.FakeLogind.Sleep",
         {start ? "boolean:true" : "boolean:false"});
}

void FakeSystemBus::SetNetwork(unsigned state, unsigned deviceType)
{
    Send("org.freedesktop.NetworkManager", "/org/example/FakeNetworkManager", "org.example.FakeNetworkManager.Set",
         {"uint32:" + std::to_string(state), "uint32:" + std::to_string(deviceType)});
}

} // namespace pelko::test

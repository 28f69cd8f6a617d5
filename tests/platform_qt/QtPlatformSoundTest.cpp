// The new-mail sound reaches the desktop's sound service: a private
// PulseAudio with a null sink stands in for the desktop's.
#include "platform_qt/QtPlatform.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace pelko;

namespace {

// One second of a 440 Hz tone, 16-bit mono at 8 kHz.
void WriteWav(const std::string& path)
{
    const uint32_t rate = 8000, samples = rate;
    auto le32 = [](std::ofstream& o, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            o.put(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    auto le16 = [](std::ofstream& o, uint16_t v) {
        o.put(static_cast<char>(v & 0xff));
        o.put(static_cast<char>(v >> 8));
    };
    std::ofstream o(path, std::ios::binary);
    o << "RIFF";
    le32(o, 36 + samples * 2);
    o << "WAVEfmt ";
    le32(o, 16);
    le16(o, 1);
    le16(o, 1);
    le32(o, rate);
    le32(o, rate * 2);
    le16(o, 2);
    le16(o, 16);
    o << "data";
    le32(o, samples * 2);
    for (uint32_t i = 0; i < samples; ++i)
        le16(o, static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate))));
}

std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buf {};
        size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            out.append(buf.data(), n);
        ::pclose(p);
    }
    return out;
}

// A PulseAudio server of the test's own: a null sink, a socket in dir.
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(const std::string& dir) : socket_(dir + "/native")
    {
        const std::string home = "HOME=" + dir, runtime = "XDG_RUNTIME_DIR=" + dir;
        std::vector<std::string> args{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                      "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr",
                                      "-L", "module-null-sink sink_name=bench_null",
                                      "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket_};
        std::vector<std::string> env{home, runtime};
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("HOME=", 0) != 0 && std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0)
                env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        for (std::string& e : env)
            envp.push_back(&e[0]);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, (dir + "/server.log").c_str(), O_WRONLY | O_CREAT, 0600);
        if (posix_spawnp(&pid_, "pulseaudio", &fa, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
    }
    ~PrivateSoundServer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    std::string pactl(const std::string& args) const
    {
        return Output("PULSE_SERVER=unix:" + socket_ + " pactl " + args + " 2>/dev/null");
    }
    bool ready() const
    {
        QElapsedTimer t;
        t.start();
        while (pid_ > 0 && t.elapsed() < 10000) {
            if (pactl("info").find("bench_null") != std::string::npos)
                return true;
            ::usleep(50 * 1000);
        }
        return false;
    }
    const std::string& socket() const { return socket_; }

private:
    std::string socket_;
    pid_t pid_ = -1;
};

} // namespace

TEST(QtPlatformSound, TheFilePlaysThroughTheSoundService)
{
    const std::string tools = Output("command -v pulseaudio; command -v pactl");
    if (tools.find("/pulseaudio\n") == std::string::npos || tools.find("/pactl\n") == std::string::npos)
        GTEST_SKIP() << "PulseAudio (pulseaudio, pulseaudio-utils) is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString();
    const std::string wav = path + "/new mail.wav";
    WriteWav(wav);
    PrivateSoundServer server(path);
    ASSERT_TRUE(server.ready()) << "the private sound server did not start";
    setenv("PULSE_SERVER", ("unix:" + server.socket()).c_str(), 1);

    QtPlatform p;
    // A file that is not there is no error, and the next sound still plays.
    p.playSound(path + "/missing.wav");
    p.playSound(wav);
    QElapsedTimer t;
    t.start();
    bool playing = false;
    while (!playing && t.elapsed() < 5000) {
        // A stream of this process (through the sound library's PulseAudio
        // or ALSA back end, whichever the machine has).
        playing = server.pactl("list sink-inputs").find("application.process.id = \"" +
                                                        std::to_string(::getpid()) + "\"") != std::string::npos;
        if (!playing)
            ::usleep(20 * 1000);
    }
    unsetenv("PULSE_SERVER");
    EXPECT_TRUE(playing) << server.pactl("list sink-inputs");
}

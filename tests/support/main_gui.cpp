#include <gtest/gtest.h>

#include <QApplication>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

int main(int argc, char** argv)
{
    // gtest_discover_tests runs this binary at build time, where there is no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string runtime = "/tmp/pelko-test-runtime-" + std::to_string(getuid());
    mkdir(runtime.c_str(), 0700);
    chmod(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 0);
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelko"));
    setenv("PELKO_SOURCE_DIR", PELKO_SOURCE_DIR_DEFAULT, 0);
    setenv("PELKO_DOVECOT_DIR", PELKO_DOVECOT_DIR_DEFAULT, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

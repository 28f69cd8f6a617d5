#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::signal(SIGPIPE, SIG_IGN);
    setenv("PELKO_SOURCE_DIR", PELKO_SOURCE_DIR_DEFAULT, 0);
    setenv("PELKO_DOVECOT_DIR", PELKO_DOVECOT_DIR_DEFAULT, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

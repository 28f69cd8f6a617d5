#pragma once
// Runs a test with a given TZ and puts the old one back.
#include <cstdlib>
#include <ctime>
#include <string>

namespace pelko::test {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* tz)
    {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneGuard()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    bool had_ = false;
    std::string old_;
};

} // namespace pelko::test

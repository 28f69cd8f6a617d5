#pragma once
// Shared by the fuzz targets: a private scratch directory for the files a
// target must go through (the loaders read files, not memory), and a check
// that aborts with a message so libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace pelko::fuzz {

// One directory per process, ending in "/", removed at exit. TMPDIR points
// at it too, so attachment files land there and not in /tmp.
inline const std::string& ScratchDir()
{
    static const std::string dir = [] {
        // Memory-backed when possible: the loaders write files with fsync.
        char tmpl[] = "/dev/shm/pelko-fuzz-XXXXXX";
        const char* made = mkdtemp(tmpl);
        char fallback[] = "/tmp/pelko-fuzz-XXXXXX";
        if (!made)
            made = mkdtemp(fallback);
        if (!made) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::string d = std::string(made) + "/";
        setenv("TMPDIR", made, 1);
        static std::string toRemove = d;
        std::atexit([] { std::system(("rm -rf '" + toRemove + "'").c_str()); });
        return d;
    }();
    return dir;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size && std::fwrite(data, 1, size, f) != size) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(f);
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    WriteFile(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

[[noreturn]] inline void Fail(const char* what, int line)
{
    std::fprintf(stderr, "fuzz check failed (line %d): %s\n", line, what);
    std::abort();
}

} // namespace pelko::fuzz

#define FUZZ_CHECK(cond)                                                                                 \
    do {                                                                                                 \
        if (!(cond))                                                                                     \
            ::pelko::fuzz::Fail(#cond, __LINE__);                                                        \
    } while (0)

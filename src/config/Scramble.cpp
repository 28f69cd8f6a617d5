#include "config/Scramble.h"

namespace pelko {

namespace {

constexpr uint16_t kMultiplier = 9759;
constexpr uint16_t kAddend = 25286;

uint16_t nextKey(uint16_t key, unsigned char scrambled)
{
    return uint16_t((unsigned(key) + scrambled) * kMultiplier + kAddend);
}

} // namespace

std::string Scramble(const std::string& text, uint16_t startKey)
{
    std::string out(text.size(), '\0');
    uint16_t key = startKey;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(static_cast<unsigned char>(text[i]) ^ (key >> 8));
        out[i] = static_cast<char>(b);
        key = nextKey(key, b);
    }
    return out;
}

std::string Unscramble(const std::string& text, uint16_t startKey)
{
    std::string out(text.size(), '\0');
    uint16_t key = startKey;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<char>(b ^ (key >> 8));
        key = nextKey(key, b);
    }
    return out;
}

} // namespace pelko

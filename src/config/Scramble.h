#pragma once
// The small reversible scrambling of account passwords in Accounts.ini.
// Not encryption: it only keeps passwords from being read at a glance.
#include <cstdint>
#include <string>

namespace pelko {

// Start key used for every password in Accounts.ini.
constexpr uint16_t kPasswordKey = 9975;

// Both return a text of the same length as their input. The key advances
// with the scrambled byte in both directions, so Unscramble(Scramble(p, k), k)
// gives p back for any p.
std::string Scramble(const std::string& text, uint16_t startKey);
std::string Unscramble(const std::string& text, uint16_t startKey);

} // namespace pelko

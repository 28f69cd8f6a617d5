#include "mime/Coders.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace pelko {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kNotInAlphabet = 0xFF;
// Any of these bits set in a combined group means one of its four characters
// was outside the alphabet.
constexpr uint32_t kBadGroup = 0xFF000000u;

struct DecodeTables {
    uint8_t value[256];
    // The four positions of a group, pre-shifted, so a clean group decodes
    // with four loads and three ORs.
    uint32_t at0[256], at1[256], at2[256], at3[256];
};

constexpr DecodeTables makeTables()
{
    DecodeTables t{};
    for (int c = 0; c < 256; ++c) {
        t.value[c] = kNotInAlphabet;
        t.at0[c] = t.at1[c] = t.at2[c] = t.at3[c] = kBadGroup;
    }
    for (uint32_t v = 0; v < 64; ++v) {
        const auto c = static_cast<unsigned char>(kAlphabet[v]);
        t.value[c] = static_cast<uint8_t>(v);
        t.at0[c] = v << 18;
        t.at1[c] = v << 12;
        t.at2[c] = v << 6;
        t.at3[c] = v;
    }
    return t;
}

constexpr DecodeTables kTables = makeTables();

// Value used by the unit decoder: characters outside the alphabet count as 0.
uint32_t unitValue(char c)
{
    const uint8_t v = kTables.value[static_cast<unsigned char>(c)];
    return v == kNotInAlphabet ? 0 : v;
}

void appendUnit(const char* u, std::string& out)
{
    const uint32_t a = unitValue(u[0]), b = unitValue(u[1]), c = unitValue(u[2]), d = unitValue(u[3]);
    out += static_cast<char>(((a << 2) | (b >> 4)) & 0xFF);
    if (u[2] == '=')
        return;
    out += static_cast<char>(((b << 4) | (c >> 2)) & 0xFF);
    if (u[3] == '=')
        return;
    out += static_cast<char>(((c << 6) | d) & 0xFF);
}

} // namespace

std::string DecodeUnit(const std::string& unit)
{
    if (unit.size() != 4)
        throw std::runtime_error("DecodeUnit length error.");
    std::string out;
    appendUnit(unit.data(), out);
    return out;
}

std::string DecodeLine(const std::string& line)
{
    std::string out;
    const size_t groups = line.size() / 4;
    out.reserve(groups * 3);
    for (size_t g = 0; g < groups; ++g)
        appendUnit(line.data() + 4 * g, out);
    return out;
}

std::string EncodeUnit(const std::string& bytes)
{
    const size_t n = bytes.size();
    if (n < 1 || n > 3)
        throw std::runtime_error("EncodeUnit length error.");
    const auto b1 = static_cast<unsigned char>(bytes[0]);
    const auto b2 = n > 1 ? static_cast<unsigned char>(bytes[1]) : 0u;
    const auto b3 = n > 2 ? static_cast<unsigned char>(bytes[2]) : 0u;
    std::string out = "====";
    out[0] = kAlphabet[b1 >> 2];
    out[1] = kAlphabet[((b1 << 4) & 63) | (b2 >> 4)];
    if (n >= 2)
        out[2] = kAlphabet[((b2 << 2) & 63) | (b3 >> 6)];
    if (n == 3)
        out[3] = kAlphabet[b3 & 63];
    return out;
}

std::string EncodeLine(const std::string& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3)
        out += EncodeUnit(bytes.substr(i, 3));
    return out;
}

void EncodeFile(const std::string& path, const std::function<void(const std::string& line)>& writeLine)
{
    if (!writeLine)
        throw std::runtime_error("No Event Defined");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(err));
    }
    char block[45];
    for (;;) {
        in.read(block, sizeof block);
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0)
            break;
        writeLine(EncodeLine(std::string(block, got)));
        if (got < sizeof block)
            break;
    }
    if (in.bad())
        throw std::runtime_error("Read error on file \"" + path + "\".");
    writeLine(std::string());
}

void Base64StreamDecoder::feed(const char* data, size_t len, std::string& out)
{
    if (len == 0)
        return;
    const size_t oldSize = out.size();
    // A carried partial group of at most 3 characters plus len characters
    // gives at most len / 4 * 3 + 3 bytes.
    out.resize(oldSize + len / 4 * 3 + 3);
    auto* o = reinterpret_cast<unsigned char*>(&out[0]) + oldSize;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* const e = p + len;

    while (p < e) {
        if (have_ == 0) {
            while (e - p >= 8) {
                const uint32_t x = kTables.at0[p[0]] | kTables.at1[p[1]] | kTables.at2[p[2]] | kTables.at3[p[3]];
                const uint32_t y = kTables.at0[p[4]] | kTables.at1[p[5]] | kTables.at2[p[6]] | kTables.at3[p[7]];
                if ((x | y) & kBadGroup)
                    break;
                o[0] = static_cast<unsigned char>(x >> 16);
                o[1] = static_cast<unsigned char>(x >> 8);
                o[2] = static_cast<unsigned char>(x);
                o[3] = static_cast<unsigned char>(y >> 16);
                o[4] = static_cast<unsigned char>(y >> 8);
                o[5] = static_cast<unsigned char>(y);
                o += 6;
                p += 8;
            }
            if (e - p >= 4) {
                const uint32_t x = kTables.at0[p[0]] | kTables.at1[p[1]] | kTables.at2[p[2]] | kTables.at3[p[3]];
                if (!(x & kBadGroup)) {
                    o[0] = static_cast<unsigned char>(x >> 16);
                    o[1] = static_cast<unsigned char>(x >> 8);
                    o[2] = static_cast<unsigned char>(x);
                    o += 3;
                    p += 4;
                    continue;
                }
            }
            if (p >= e)
                break;
        }
        // One character at a time: a junk character, padding or a carry.
        const unsigned char c = *p++;
        const uint8_t v = kTables.value[c];
        if (v == kNotInAlphabet) {
            if (c != '=')
                continue;
            if (have_ >= 2)
                *o++ = static_cast<unsigned char>(acc_ >> (have_ == 2 ? 4 : 10));
            if (have_ == 3)
                *o++ = static_cast<unsigned char>(acc_ >> 2);
            // Padding closes this group only: encoders that pad every line,
            // or join several encoded runs, go on after it.
            have_ = 0;
            acc_ = 0;
            continue;
        }
        acc_ = (acc_ << 6) | v;
        if (++have_ == 4) {
            o[0] = static_cast<unsigned char>(acc_ >> 16);
            o[1] = static_cast<unsigned char>(acc_ >> 8);
            o[2] = static_cast<unsigned char>(acc_);
            o += 3;
            have_ = 0;
            acc_ = 0;
        }
    }
    out.resize(static_cast<size_t>(o - reinterpret_cast<unsigned char*>(&out[0])));
}

void Base64StreamDecoder::finish(std::string& out)
{
    // Missing padding: two characters still hold one byte, three hold two.
    if (have_ >= 2) {
        out += static_cast<char>((acc_ >> (have_ == 2 ? 4 : 10)) & 0xFF);
        if (have_ == 3)
            out += static_cast<char>((acc_ >> 2) & 0xFF);
    }
    acc_ = 0;
    have_ = 0;
}

std::string DecodeBase64Text(const std::string& text)
{
    std::string out;
    Base64StreamDecoder d;
    d.feed(text.data(), text.size(), out);
    d.finish(out);
    return out;
}

} // namespace pelko

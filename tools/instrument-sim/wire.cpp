#include "wire.h"

#include <cstdio>

namespace sim {

std::uint16_t crc16(const std::uint8_t* data, std::size_t n)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

void appendCrc(Bytes& b)
{
    const std::uint16_t c = crc16(b);
    b.push_back(std::uint8_t(c & 0xFF));
    b.push_back(std::uint8_t(c >> 8));
}

std::uint8_t lrc(const Bytes& b)
{
    unsigned sum = 0;
    for (std::uint8_t v : b)
        sum += v;
    return std::uint8_t((0x100 - (sum & 0xFF)) & 0xFF);
}

std::uint8_t charSum(const std::string& s)
{
    unsigned sum = 0;
    for (unsigned char c : s)
        sum += c;
    return std::uint8_t(sum & 0xFF);
}

std::string hex2(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

std::string hex4(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
    return buf;
}

std::string hexPairs(const Bytes& b)
{
    std::string out;
    for (std::uint8_t v : b)
        out += hex2(v);
    return out;
}

std::string hexSpaced(const std::string& raw)
{
    std::string out;
    for (unsigned char c : raw) {
        if (!out.empty())
            out += ' ';
        out += hex2(c);
    }
    return out;
}

std::string printable(const std::string& raw)
{
    std::string out;
    for (unsigned char c : raw) {
        switch (c) {
        case 2: out += "<STX>"; break;
        case 3: out += "<ETX>"; break;
        case 6: out += "<ACK>"; break;
        case 13: out += "<CR>"; break;
        case 10: out += "<LF>"; break;
        default:
            if (c >= 0x20 && c < 0x7F)
                out += char(c);
            else
                out += "<" + hex2(c) + ">";
        }
    }
    return out;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool parseHexPairs(const std::string& s, Bytes& out)
{
    out.clear();
    if (s.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = hexValue(s[i]), lo = hexValue(s[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(std::uint8_t(hi * 16 + lo));
    }
    return true;
}

bool parseHex(const std::string& s, unsigned& out)
{
    if (s.empty() || s.size() > 8)
        return false;
    unsigned v = 0;
    for (char c : s) {
        const int d = hexValue(c);
        if (d < 0)
            return false;
        v = v * 16 + unsigned(d);
    }
    out = v;
    return true;
}

} // namespace sim

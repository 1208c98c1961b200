#pragma once
// Frame checks and small text helpers of the three line protocols, written
// for the simulator alone.
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

// CRC-16 of Modbus RTU (init FFFF, reflected polynomial A001, no final xor).
std::uint16_t crc16(const std::uint8_t* data, std::size_t n);
inline std::uint16_t crc16(const Bytes& b) { return crc16(b.data(), b.size()); }
// Appends the CRC, low byte first.
void appendCrc(Bytes& b);

// Modbus ASCII LRC: two's complement of the byte sum, modulo 256.
std::uint8_t lrc(const Bytes& b);

// "Zarn Link" checksum: sum of character codes modulo 256.
std::uint8_t charSum(const std::string& s);

std::string hex2(unsigned v);
std::string hex4(unsigned v);
// Upper-case hex pairs of every byte, no separators ("0103").
std::string hexPairs(const Bytes& b);
// "01 03 00 ..." for logs.
std::string hexSpaced(const std::string& raw);
// Printable form of line text: control characters as <STX>, <ETX>, <ACK>,
// <CR>, <LF> or <xx>.
std::string printable(const std::string& raw);

bool isHexDigit(char c);
// Parses hex pairs; false on an odd length or a non-hex character.
bool parseHexPairs(const std::string& s, Bytes& out);
// Parses a whole hex number text (no prefix); false when empty or not hex.
bool parseHex(const std::string& s, unsigned& out);

} // namespace sim

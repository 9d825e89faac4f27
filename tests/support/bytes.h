// Byte helpers for tests: damage a byte string, cut it short, and move it
// to and from whole files.
#pragma once

#include "ka/string.h"

#include <string>

namespace support {

// A copy of sData with the byte at iPos XOR-ed with iMask (every bit by
// default). Throws std::out_of_range for a position outside the data.
Ka::String flipByte(const Ka::String &sData, int iPos, unsigned char iMask = 0xFF);

// The first iLength bytes of sData (all of it when iLength is larger).
Ka::String cutBytes(const Ka::String &sData, int iLength);

// The whole file; throws std::runtime_error when it cannot be read.
Ka::String readFile(const std::string &sPath);

// Replaces the file's contents by sData, creating it when missing; throws
// std::runtime_error when it cannot be written.
void writeFile(const std::string &sPath, const Ka::String &sData);

// Ka::String and std::string hold the same bytes (zero bytes included).
Ka::String toKa(const std::string &s);
std::string toStd(const Ka::String &s);

} // namespace support

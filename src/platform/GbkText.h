#pragma once
#include <cstddef>
#include <string>

namespace kt {

// Text in data files is in the simplified-Chinese code page (GBK); inside the
// program it is UTF-8. Characters GBK cannot hold become '?'.
std::string Utf8ToGbk(const std::string& utf8);
// Stops at the first zero byte or after `size` bytes; byte sequences that are
// not GBK become U+FFFD.
std::string GbkToUtf8(const char* gbk, std::size_t size);
// Whether this machine can convert to and from GBK at all (glibc's iconv
// modules); without it every Chinese text of a data file would become '?'.
bool GbkAvailable();
// Whether a data file keeps `utf8` as it is: its GBK form reads back the same
// (no character turned into '?' or dropped on the way).
bool GbkKeeps(const std::string& utf8);
// How many bytes `utf8` takes in GBK (a Chinese character counts 2).
std::size_t GbkLength(const std::string& utf8);
// The longest prefix of `utf8`, cut at a character boundary, whose GBK form
// is at most maxBytes long.
std::string TruncateToGbkBytes(const std::string& utf8, std::size_t maxBytes);

}  // namespace kt

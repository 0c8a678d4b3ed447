#include "platform/GbkText.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kt {

namespace {

// Converts one UTF-8 character (1..4 bytes at `in`) to GBK; returns its GBK
// bytes or "?" when GBK has no such character.
std::string CharToGbk(iconv_t cd, const char* in, std::size_t len) {
  char out[8];
  char* src = const_cast<char*>(in);
  char* dst = out;
  std::size_t inLeft = len, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) return "?";
  return std::string(out, static_cast<std::size_t>(dst - out));
}

std::size_t Utf8CharLength(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  return 1;  // stray continuation byte: take it alone
}

template <typename F>
void ForEachGbkChar(const std::string& utf8, F&& f) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t len = Utf8CharLength(static_cast<unsigned char>(utf8[i]));
    if (i + len > utf8.size()) len = utf8.size() - i;
    const std::string g = cd == reinterpret_cast<iconv_t>(-1) ? (len == 1 ? utf8.substr(i, 1) : std::string("?"))
                                                              : CharToGbk(cd, utf8.data() + i, len);
    if (!f(i, len, g)) break;
    i += len;
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
}

}  // namespace

bool GbkAvailable() {
  iconv_t a = iconv_open("GBK", "UTF-8");
  iconv_t b = iconv_open("UTF-8", "GBK");
  const bool ok = a != reinterpret_cast<iconv_t>(-1) && b != reinterpret_cast<iconv_t>(-1);
  if (a != reinterpret_cast<iconv_t>(-1)) iconv_close(a);
  if (b != reinterpret_cast<iconv_t>(-1)) iconv_close(b);
  return ok;
}

std::string Utf8ToGbk(const std::string& utf8) {
  std::string out;
  ForEachGbkChar(utf8, [&](std::size_t, std::size_t, const std::string& g) {
    out += g;
    return true;
  });
  return out;
}

std::size_t GbkLength(const std::string& utf8) { return Utf8ToGbk(utf8).size(); }

std::string TruncateToGbkBytes(const std::string& utf8, std::size_t maxBytes) {
  std::size_t used = 0, end = 0;
  ForEachGbkChar(utf8, [&](std::size_t pos, std::size_t len, const std::string& g) {
    if (used + g.size() > maxBytes) return false;
    used += g.size();
    end = pos + len;
    return true;
  });
  return utf8.substr(0, end);
}

std::string GbkToUtf8(const char* gbk, std::size_t size) {
  const std::size_t len = strnlen(gbk, size);
  std::string out;
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (std::size_t i = 0; i < len; ++i) out += (static_cast<unsigned char>(gbk[i]) < 0x80) ? gbk[i] : '?';
    return out;
  }
  std::size_t i = 0;
  while (i < len) {
    const unsigned char c = static_cast<unsigned char>(gbk[i]);
    const std::size_t n = (c < 0x80 || i + 1 >= len) ? 1 : 2;
    char buf[8];
    char* src = const_cast<char*>(gbk + i);
    char* dst = buf;
    std::size_t inLeft = n, outLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &src, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      i += 1;
      continue;
    }
    out.append(buf, static_cast<std::size_t>(dst - buf));
    i += n;
  }
  iconv_close(cd);
  return out;
}

bool GbkKeeps(const std::string& utf8) {
  const std::string gbk = Utf8ToGbk(utf8);
  return GbkToUtf8(gbk.data(), gbk.size()) == utf8;
}

}  // namespace kt

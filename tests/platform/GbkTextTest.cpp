// GBK conversion at the file edge: known code points, byte lengths, cutting
// on a character boundary, and damaged bytes.
#include <gtest/gtest.h>

#include <string>

#include "platform/GbkText.h"

namespace kt {
namespace {

TEST(GbkText, Utf8ToGbkAndItsLength) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"COM2 abc", "COM2 abc"}, {"宋体", "\xCB\xCE\xCC\xE5"}, {"A测试1", "A\xB2\xE2\xCA\xD4" "1"},
      {"中文\n", "\xD6\xD0\xCE\xC4\n"},
      {"😀x", "?x"},         // no such character in GBK
      {"a\x80" "b", "a?b"},  // a stray continuation byte
      {"a\xE5", "a?"},       // a character cut off at the end
  };
  // clang-format on
  ASSERT_TRUE(GbkAvailable());
  for (const auto& [utf8, gbk] : cases) {
    EXPECT_EQ(Utf8ToGbk(utf8), gbk) << utf8;
    EXPECT_EQ(GbkLength(utf8), gbk.size()) << utf8;
  }
}

TEST(GbkText, GbkToUtf8StopsAtTheFieldEndAndMarksDamage) {
  // clang-format off
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"\xCB\xCE\xCC\xE5", 4, "宋体"}, {"A\xB2\xE2\xCA\xD4" "1", 6, "A测试1"}, {std::string("AB\0CD", 5), 5, "AB"},
      {"ABCD", 2, "AB"}, {"", 0, ""}, {"\xFF" "A", 2, "\uFFFDA"},
      {"\xCB\xCE\xCC\xE5", 3, "宋\uFFFD"},  // the field ends inside a character
      {"\x81 x", 3, "\uFFFD x"},             // a lead byte without its trail byte
  };
  // clang-format on
  for (const auto& [gbk, size, utf8] : cases) EXPECT_EQ(GbkToUtf8(gbk.data(), size), utf8) << utf8;
  const std::string mixed = "输入性能 Urms=230.5V 镇流器", gbk = Utf8ToGbk(mixed);
  EXPECT_EQ(GbkToUtf8(gbk.data(), gbk.size()), mixed);
}

TEST(GbkText, TruncationCountsGbkBytesAndKeepsWholeCharacters) {
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"宋体A", 0, ""},      {"宋体A", 1, ""},       {"宋体A", 2, "宋"}, {"宋体A", 3, "宋"}, {"宋体A", 4, "宋体"},
      {"宋体A", 5, "宋体A"}, {"宋体A", 99, "宋体A"}, {"A宋", 2, "A"},    {"😀宋", 1, "😀"},  // stored as "?": one byte
  };
  for (const auto& [utf8, max, kept] : cases) EXPECT_EQ(TruncateToGbkBytes(utf8, max), kept) << utf8 << " to " << max;
}

}  // namespace
}  // namespace kt

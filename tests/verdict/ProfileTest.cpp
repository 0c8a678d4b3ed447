#include "verdict/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kt {
namespace {

namespace fs = std::filesystem;

// Each bad text with its English message or words it must contain.
TEST(Profile, RefusesBadProfilesWithTheirReason) {
  const std::string pf = R"("rules": [{"figure": "PF", "min": 0.9}])";
  const std::pair<std::string, const char*> cases[] = {
      {"not json", "profile \"t8.json\": not valid JSON (at byte 2)"},
      {"{" + pf + "}", "\"name\" is missing"},
      {R"({"name": " ", )" + pf + "}", "\"name\" is empty"},
      {R"({"name": "iec-61000-3-2-class-c", )" + pf + "}", "built-in"},
      {R"({"name": "x", "rule": [], )" + pf + "}", "unknown key \"rule\""},
      {R"({"name": "x", "rules": []})", "\"rules\" is empty"},
      {R"({"name": "x", "rules": [{"figure": "PF", "min": 1}, {"figure": "Foo", "max": 1}]})",
       "rule 2 (Foo): unknown figure \"Foo\""},
      {R"({"name": "x", "rules": [{"figure": "PF", "mx": 1}]})", "rule 1 (PF): unknown key \"mx\""},
      {R"({"name": "x", "rules": [{"figure": "PF"}]})", "neither min nor max"},
      {R"({"name": "x", "rules": [{"figure": "PF", "min": true}]})", "min must be a finite number"},
      {R"({"name": "x", "rules": [{"figure": "PF", "max": 1e400}]})", "out of range"},
      {R"({"name": "x", "rules": [{"figure": "PF", "min": 0.9}, {"figure": "Urms", "min": 1},
          {"figure": "CFi", "min": 2, "max": 1.7}]})",
       "profile \"t8.json\", rule 3 (CFi): min 2 is above max 1.7"},
      {std::string(ProfileMaxBytes + 1, ' '), "larger than 65536 bytes"},
      // Ambiguous texts, with the whole message.
      {R"({"name": "x", "name": "y", )" + pf + "}", "profile \"t8.json\": duplicate key \"name\""},
      {R"({"name": "x", "rules": [{"figure": "Urms", "min": 1}, {"figure": "PF", "max": 1, "max": 2}]})",
       "profile \"t8.json\", rule 2 (PF): duplicate key \"max\""},
      {R"({"name": "x", "rules": [{"figure": "Urms", "min": 1}, {"figure": "P", "figure": "PF", "max": 1}]})",
       "profile \"t8.json\", rule 2: duplicate key \"figure\""},
      {R"({"name": "x", "rules": [{"figure": "PF", "min": 0.9}, {"figure": "P", "min": 1}, {"figure": "PF", "max": 1}]})",
       "profile \"t8.json\": rules 1 and 3 both limit \"PF\": put both bounds into one rule"},
      {R"({"name": "x", "type": "电子镇流器型号电子镇A", )" + pf + "}",
       "profile \"t8.json\": \"type\" is 21 bytes in GBK, longer than the 20 a test's type holds"},
      {R"({"name": "x", "rated_power_w": "36", )" + pf + "}",
       "profile \"t8.json\": \"rated_power_w\" must be a finite number"},
      {R"({"name": "x", "rated_power_w": 0, )" + pf + "}",
       "profile \"t8.json\": \"rated_power_w\" must be above 0 and at most 10000 W, not 0"},
      {R"({"name": "x", "rated_power_w": 10000.5, )" + pf + "}", "at most 10000 W, not 10000.5"},
      // The station's keys.
      {R"({"name": "x", "sequence": [], )" + pf + "}", "\"sequence\" must be a list of kinds"},
      {R"({"name": "x", "sequence": ["comp", "fast"], )" + pf + "}", "\"sequence\": unknown kind fast"},
      {R"({"name": "x", "sequence": ["comp", "comp"], )" + pf + "}", "\"sequence\" has comp twice"},
      {R"({"name": "x", "golden": [{"serial": "G1", "figures": []}], )" + pf + "}", "golden unit G1: \"figures\""},
      {R"({"name": "x", "golden": [{"serial": "", "figures": [{"figure": "P", "expected": 1, "tolerance": 1}]}], )" +
           pf + "}",
       "needs a serial of 1 to 20 bytes"},
      {R"({"name": "x", "golden": [{"serial": "G1", "figures": [{"figure": "P", "expected": 1, "tolerance": -1}]}], )" +
           pf + "}",
       "golden unit G1, figure P: \"expected\" and \"tolerance\" must be finite numbers"},
      {R"({"name": "x", "golden": [{"serial": "G1", "figures": [{"figure": "P", "expected": 1, "tolerance": 1}]},
          {"serial": "G1", "figures": [{"figure": "P", "expected": 1, "tolerance": 1}]}], )" +
           pf + "}",
       "golden unit G1 is listed twice"},
      {R"({"name": "x", "golden_due": {"every_hours": 8}, )" + pf + "}", "needs golden units"},
      {R"({"name": "x", "golden": [{"serial": "G1", "figures": [{"figure": "P", "expected": 1, "tolerance": 1}]}],
          "golden_due": {"shift_starts": ["6:00"]}, )" +
           pf + "}",
       "shift start 6:00 is not a time HH:MM"},
  };
  Profile p;
  ProfileMessage m;
  for (const auto& [text, words] : cases) {
    EXPECT_EQ(ParseProfile(text, "t8.json", p, m), 1) << text;
    // A whole message is compared whole, a fragment found in it.
    EXPECT_TRUE(std::string_view(words).starts_with("profile") ? m.English == words
                                                               : m.English.find(words) != std::string::npos)
        << m.English;
    EXPECT_EQ(m.Chinese.rfind("限值文件“t8.json”", 0), 0u) << m.Chinese;
  }
  ParseProfile(cases[11].first, "t8.json", p, m);
  EXPECT_EQ(m.Chinese, "限值文件“t8.json”第 3 条规则（CFi）：下限 2 大于上限 1.7");
  ParseProfile(cases[14].first, "t8.json", p, m);
  EXPECT_EQ(m.Chinese, "限值文件“t8.json”第 2 条规则（PF）：键“max”重复");
  // Ten Chinese characters are the 20 bytes a type may take.
  EXPECT_EQ(ParseProfile(R"({"name": "x", "type": "电子镇流器型号电子镇", )" + pf + "}", "t8.json", p, m), 0)
      << m.English;
}

// The written form is fixed (order, indent, absent fields left out), reads
// back as the same profile and writes again as the same text.
TEST(Profile, RoundTripIsStable) {
  const char* text = R"({"rules": [{"note": "lamp", "max": 1.7, "figure": "IlcfPos"}, {"min": 207, "figure": "Urms"}],
      "rated_power_w": 36, "type": "EB-236", "name": "T8", "sequence": ["hf", "input"],
      "golden_due": {"every_hours": 8, "shift_starts": ["22:30"]},
      "golden": [{"figures": [{"figure": "P", "tolerance": 0.5, "expected": 36.2}], "serial": "G-01"}]})";
  Profile p, back;
  ProfileMessage m;
  ASSERT_EQ(ParseProfile(text, "a.json", p, m), 0) << m.English;
  EXPECT_EQ(p.RawText, text);
  EXPECT_EQ(p.Rules[0], (ProfileRule{"IlcfPos", std::nullopt, 1.7, "lamp"}));
  const std::string json = ProfileToJson(p);
  EXPECT_EQ(
      json,
      "{\n  \"name\": \"T8\",\n  \"revision\": \"\",\n  \"type\": \"EB-236\",\n  \"rated_power_w\": 36.0,\n"
      "  \"rules\": [\n"
      "    {\n      \"figure\": \"IlcfPos\",\n      \"max\": 1.7,\n      \"note\": \"lamp\"\n    },\n"
      "    {\n      \"figure\": \"Urms\",\n      \"min\": 207.0\n    }\n  ],\n"
      "  \"sequence\": [\n    \"hf\",\n    \"input\"\n  ],\n"
      "  \"golden\": [\n    {\n      \"serial\": \"G-01\",\n      \"figures\": [\n        {\n"
      "          \"figure\": \"P\",\n          \"expected\": 36.2,\n          \"tolerance\": 0.5\n        }\n"
      "      ]\n    }\n  ],\n"
      "  \"golden_due\": {\n    \"shift_starts\": [\n      \"22:30\"\n    ],\n    \"every_hours\": 8.0\n  }\n}\n");
  ASSERT_EQ(ParseProfile(json, "a.json", back, m), 0) << m.English;
  EXPECT_TRUE(SameContent(p, back) && back.RatedPowerW == 36.0);
  EXPECT_EQ(back.Sequence, (std::vector<TestKind>{GaoTest, InputTest}));
  EXPECT_EQ(back.Due.ShiftStartMinutes, std::vector<int>{22 * 60 + 30});
  EXPECT_EQ(ProfileToJson(back), json);
}

TEST(Profile, SavesAtomicallyAndLoads) {
  const fs::path dir = fs::temp_directory_path() / ("kt-verdict-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "t8.json").string();
  { std::ofstream(path) << "old"; }
  Profile p, loaded;
  ProfileMessage m;
  ASSERT_EQ(ParseProfile(R"({"name": "T8", "revision": "3", "rules": [{"figure": "THDI", "max": 10}]})", "x", p, m), 0);
  ASSERT_EQ(SaveProfile(path, p, m), 0) << m.English;
  ASSERT_EQ(LoadProfile(path, loaded, m), 0) << m.English;
  EXPECT_TRUE(SameContent(p, loaded) && loaded.Source == "t8.json" && loaded.RawText == ProfileToJson(p));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temporary left
  // A replacement keeps the old file's mode, and is never made through a link.
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path, mode);
  EXPECT_TRUE(SaveProfile(path, p, m) == 0 && (fs::status(path).permissions() & fs::perms::all) == mode);
  fs::create_symlink(path, dir / "link.json");
  EXPECT_TRUE(SaveProfile((dir / "link.json").string(), p, m) == 1 &&
              m.English == "profile \"link.json\": cannot be written (Too many levels of symbolic links)")
      << m.English;
  fs::remove(dir / "link.json");
  // Only a regular file is read: a FIFO without a writer (which a plain open
  // would wait on for ever), a device and a folder are refused at once.
  ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  for (const fs::path& f : {dir / "fifo.json", fs::path("/dev/zero"), dir})
    EXPECT_TRUE(LoadProfile(f.string(), loaded, m) == 1 &&
                m.English == "profile \"" + f.filename().string() + "\": is not a regular file")
        << m.English;
  EXPECT_EQ(m.Chinese, "限值文件“" + dir.filename().string() + "”：不是普通文件");
  fs::remove(dir / "fifo.json");
  // A profile that would not load again is not written; the file stays.
  p.Rules[0].Min = 20;
  EXPECT_TRUE(SaveProfile(path, p, m) == 1 && m.English.find("min 20 is above max 10") != std::string::npos);
  EXPECT_TRUE(LoadProfile(path, loaded, m) == 0 && !loaded.Rules[0].Min);
  fs::remove_all(dir);
  // The shipped examples load, and are kept in the written form.
  for (const char* name : {"t8-36w-ballast.json", "lamp-25w.json"}) {
    ASSERT_EQ(LoadProfile(std::string(KT_PROFILES_DIR) + "/" + name, p, m), 0) << m.English;
    EXPECT_EQ(ProfileToJson(p), p.RawText) << name;
  }
}

}  // namespace
}  // namespace kt

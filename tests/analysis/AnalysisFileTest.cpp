// The *.bdt file: every field at its offset, the size, a round trip through
// the disk, the name rule, the magic check and what a load switches off.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisFile.h"
#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "platform/GbkText.h"
#include "support/Fakes.h"

namespace fs = std::filesystem;

namespace kt {
namespace {

struct Rig : test::FormRig {
  fs::path dir;
  Rig() {
    char t[] = "/tmp/kt-bdt-XXXXXX";
    dir = mkdtemp(t);
  }
  ~Rig() { fs::remove_all(dir); }
  std::string File(const char* n) const { return (dir / n).string(); }
};

// Every stored value different, so a field in the wrong place shows.
std::unique_ptr<AnalysisData> Distinct() {
  auto a = std::make_unique<AnalysisData>();
  for (int c = 0; c < 4; ++c) {
    a->EnvelopeMax[c] = 100.0f + c;
    a->WavePeak[c] = 200.0f + c;
    a->WaveRms[c] = 300.0f + c;
    a->CrestFactor[c] = 400.0f + c;
    for (int i = 0; i < 200; ++i) a->Envelope[c][i] = 1000.0f * c + i;
    a->Period[c] = 110 + c;
    for (int i = 0; i < 600; ++i) a->Wave[c][i] = -10000.0f * c - i;
  }
  a->SelectX = 151;
  a->Gain[ChU] = 20.48f;
  a->EnvelopeValid = 1;
  return a;
}

void FillInfo(Form& f) {
  f.ShownKind = GaoTest;
  f.Info = {"灯管 T8", "No-7", "EB-236", "GB 15144", "25", "60", "示例电子有限公司", "张工", "3200", "4000"};
  std::strcpy(f.TestDate, "2026-12-6");
}

std::int32_t I32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24));
}
float F32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  const auto u = static_cast<std::uint32_t>(I32At(b, at));
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
std::string TextAt(const std::vector<std::uint8_t>& b, std::size_t at) { return reinterpret_cast<const char*>(&b[at]); }

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AnalysisFile, HoldsEveryFieldAtItsOffset) {
  Rig r;
  FillInfo(*r.form);
  const auto a = Distinct();
  const std::vector<std::uint8_t> b = BuildAnalysisRecord(*r.form, *a, 1);
  ASSERT_EQ(b.size(), 13107u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 10), "KT6100-1.0");
  EXPECT_EQ(I32At(b, 10), GaoTest);
  EXPECT_EQ(I32At(b, 14), 1);
  // Four values per channel in the order U, Il, If, Ik.
  EXPECT_EQ(F32At(b, 18), 100.0f);
  EXPECT_EQ(F32At(b, 34 + 4), 201.0f);
  EXPECT_EQ(F32At(b, 50 + 8), 302.0f);
  EXPECT_EQ(F32At(b, 66 + 12), 403.0f);
  EXPECT_EQ(F32At(b, 82), 0.0f);
  EXPECT_EQ(F32At(b, 882 + 4 * 199), 1199.0f);
  EXPECT_EQ(F32At(b, 1682 + 4 * 149), 2149.0f);
  EXPECT_EQ(F32At(b, 2482), 3000.0f);
  EXPECT_EQ(I32At(b, 3282), 110);
  EXPECT_EQ(I32At(b, 3294), 113);
  EXPECT_EQ(F32At(b, 3298 + 4), -1.0f);
  EXPECT_EQ(F32At(b, 5698), -10000.0f);
  EXPECT_EQ(F32At(b, 8098 + 4 * 599), -20599.0f);
  EXPECT_EQ(F32At(b, 10498), -30000.0f);
  // Texts in GBK, zero-terminated in their fields.
  EXPECT_EQ(TextAt(b, 12898), "\xB5\xC6\xB9\xDC T8");  // 灯管 T8
  EXPECT_EQ(TextAt(b, 12929), "No-7");
  EXPECT_EQ(TextAt(b, 12950), "EB-236");
  EXPECT_EQ(TextAt(b, 12971), "GB 15144");
  EXPECT_EQ(TextAt(b, 12992), "25");
  EXPECT_EQ(TextAt(b, 13003), "60");
  EXPECT_EQ(GbkLength("示例电子有限公司"), 16u);
  EXPECT_EQ(TextAt(b, 13014).size(), 16u);
  EXPECT_EQ(TextAt(b, 13065).size(), 4u);  // 张工
  EXPECT_EQ(TextAt(b, 13096), "2026-12-6");
  EXPECT_EQ(b[13106], 0);
}

TEST(AnalysisFile, LoadsBackWhatWasStoredAndSwitchesTheAnalysisOff) {
  Rig r;
  FillInfo(*r.form);
  const auto stored = Distinct();
  ASSERT_EQ(SaveAnalysisFile(*r.form, *stored, 1, r.File("run1.bdt")), 0);
  EXPECT_EQ(fs::file_size(r.File("run1.bdt")), 13107u);
  EXPECT_EQ(ReadAll(r.File("run1.bdt")), BuildAnalysisRecord(*r.form, *stored, 1));

  const TestInfo info = r.form->Info;
  r.form->ShownKind = OutputTest;
  r.form->Info = {};
  std::memset(r.form->TestDate, 0, sizeof r.form->TestDate);
  r.host.gaoEnabled = true;
  AnalysisData loaded;
  loaded.EnvelopeValid = 1;
  loaded.SelectX = 33;
  std::int32_t language = 0;
  ASSERT_EQ(OpenAnalysisFile(*r.form, loaded, language, r.File("run1.bdt")), 0);

  EXPECT_EQ(language, 1);
  EXPECT_EQ(r.form->ShownKind, GaoTest);
  EXPECT_EQ(r.form->Info.Name, info.Name);
  EXPECT_EQ(r.form->Info.Manufacturer, info.Manufacturer);
  EXPECT_EQ(r.form->Info.Operator, info.Operator);
  EXPECT_EQ(r.form->Info.LuminousFlux, "") << "not part of this file";
  EXPECT_STREQ(r.form->TestDate, "2026-12-6");
  // Every stored field came back: the record it would store again is the same.
  EXPECT_EQ(BuildAnalysisRecord(*r.form, loaded, language), BuildAnalysisRecord(*r.form, *stored, 1));
  EXPECT_EQ(loaded.SelectX, 33) << "not stored";
  EXPECT_EQ(loaded.Gain[ChU], 0.0f) << "not stored";
  EXPECT_EQ(loaded.EnvelopeValid, 0);
  EXPECT_FALSE(r.host.gaoEnabled) << "a loaded envelope cannot start an analysis";
  EXPECT_TRUE(r.host.messages.empty());
}

TEST(AnalysisFile, RefusesWhatIsNotItsOwnAndChangesNothing) {
  Rig r;
  FillInfo(*r.form);
  const auto before = Distinct();
  AnalysisData a = *before;
  std::int32_t language = 0;
  const auto unchanged = [&] {
    return std::memcmp(&a, before.get(), sizeof a) == 0 && language == 0 && r.form->ShownKind == GaoTest;
  };

  EXPECT_EQ(OpenAnalysisFile(*r.form, a, language, r.File("missing.bdt")), 1);
  EXPECT_EQ(r.host.messages.back(), std::make_pair(std::string("打开数据文件失败!"), std::string("警告")));
  EXPECT_TRUE(unchanged());

  std::ofstream(r.File("other.bdt"), std::ios::binary) << "KT6100-1.1" << std::string(13097, '\x01');
  EXPECT_EQ(OpenAnalysisFile(*r.form, a, language, r.File("other.bdt")), 1);
  EXPECT_EQ(r.host.messages.back(), std::make_pair(std::string("数据文件格式错误!"), std::string("警告")));
  EXPECT_TRUE(unchanged());

  // The right magic on a file that ends early: all or nothing.
  std::ofstream(r.File("short.bdt"), std::ios::binary) << "KT6100-1.0" << std::string(5000, '\x01');
  EXPECT_EQ(OpenAnalysisFile(*r.form, a, language, r.File("short.bdt")), 1);
  EXPECT_EQ(r.host.messages.back().first, "数据文件格式错误!");
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(r.host.messages.size(), 3u);
}

TEST(AnalysisFile, AStartTestHeaderPassesTheMagicCheck) {
  Rig r;
  std::string bytes("KT6100-1.0\x04\0\0\0", 14);
  bytes.resize(13107, '\0');
  std::ofstream(r.File("start.dat"), std::ios::binary) << bytes;
  AnalysisData a;
  std::int32_t language = 1;
  EXPECT_EQ(OpenAnalysisFile(*r.form, a, language, r.File("start.dat")), 0);
  EXPECT_EQ(r.form->ShownKind, StartTest);
  EXPECT_EQ(language, 0);
}

TEST(AnalysisFile, TellsWhenItCannotStore) {
  Rig r;
  AnalysisData a;
  EXPECT_EQ(SaveAnalysisFile(*r.form, a, 0, r.File("no-such-folder/x.bdt")), 1);
  EXPECT_EQ(r.host.messages.back(), std::make_pair(std::string("存数据失败!"), std::string("警告")));
}

TEST(AnalysisFileName, AppendsTheExtensionUnlessTheNameHoldsItAnywhere) {
  EXPECT_EQ(AnalysisFileName("run1"), "run1.bdt");
  EXPECT_EQ(AnalysisFileName("a.bdt.old"), "a.bdt.old");
  EXPECT_EQ(AnalysisFileName("/x/run1.bdt"), "/x/run1.bdt");
  EXPECT_EQ(AnalysisFileName("RUN.BDT"), "RUN.BDT.bdt");
}

}  // namespace
}  // namespace kt

#include <gtest/gtest.h>

#include "station/Scan.h"
#include "station/Users.h"

namespace kt {
namespace {

TEST(Scan, ReadsTypeAndSerialAndRefusesWhatIsNotALabel) {
  ScanCode code;
  ProfileMessage m;
  ASSERT_EQ(ParseScan("EB-236*SN1042\r\n", "*", code, m), 0) << m.English;
  EXPECT_EQ(code.Type, "EB-236");
  EXPECT_EQ(code.Serial, "SN1042");
  ASSERT_EQ(ParseScan("  SN1042 ", "*", code, m), 0);
  EXPECT_EQ(code.Type, "");
  EXPECT_EQ(code.Serial, "SN1042");
  ASSERT_EQ(ParseScan("镇流器A||序列1", "||", code, m), 0) << m.English;
  EXPECT_EQ(code.Type, "镇流器A");
  EXPECT_EQ(code.Serial, "序列1");

  const std::pair<std::string, const char*> bad[] = {
      {"", "the scan is empty"},
      {" \r\n", "the scan is empty"},
      {"EB*SN*1", "more than once"},
      {"*SN1", "the type is empty"},
      {"EB*", "the serial is empty"},
      {"SN\t1", "control characters"},
      {"SN\xff", "not UTF-8"},
      {"SN\xed\xa0\x80", "not UTF-8"},  // a surrogate
      {"SN\xe4\xb8", "not UTF-8"},      // cut short
      {std::string(21, '9'), "is 21 bytes, at most 20 fit"},
      {"电子镇流器型号电子镇A*1", "the type \"电子镇流器型号电子镇A\" is 21 bytes"},
      {"SN-\xf0\x9f\x98\x80", "characters a data file cannot keep"},  // an emoji
      {"SN-\xf3\xa0\x80\x90", "characters a data file cannot keep"},  // a tag character, dropped by the code page
      {std::string(ScanMaxBytes + 1, 'A'), "longer than 128 bytes"},
  };
  for (const auto& [text, words] : bad) {
    code = ScanCode{"kept", "kept"};
    EXPECT_EQ(ParseScan(text, "*", code, m), 1) << text;
    EXPECT_NE(m.English.find(words), std::string::npos) << m.English;
    EXPECT_EQ(m.Chinese.rfind("扫码被拒绝：", 0), 0u) << m.Chinese;
    EXPECT_EQ(code.Serial, "kept");  // a refused scan changes nothing
  }
  for (const char* separator : {"", " ", "*****", "\t"}) EXPECT_EQ(ParseScan("A*B", separator, code, m), 1);
}

TEST(Scan, StepsFollowTheSequenceAndPutAnEnvelopeBeforeTheAnalysis) {
  EXPECT_EQ(ScanSteps({}, NoTest), std::vector<TestKind>{InputTest});
  EXPECT_EQ(ScanSteps({}, PhaseTest), std::vector<TestKind>{PhaseTest});
  EXPECT_EQ(ScanSteps({CompTest, StartTest}, PhaseTest), (std::vector<TestKind>{CompTest, StartTest}));
  EXPECT_EQ(ScanSteps({GaoTest, InputTest}, NoTest), (std::vector<TestKind>{BaoTest, GaoTest, InputTest}));
  EXPECT_EQ(ScanSteps({BaoTest, GaoTest}, NoTest), (std::vector<TestKind>{BaoTest, GaoTest}));
  EXPECT_EQ(ScanSteps({}, GaoTest), (std::vector<TestKind>{BaoTest, GaoTest}));
  // The worst verdict of a sequence: an unjudged run outranks a pass.
  EXPECT_LT(VerdictRank(VerdictResult::Pass), VerdictRank(VerdictResult::NotApplicable));
  EXPECT_LT(VerdictRank(VerdictResult::NotApplicable), VerdictRank(VerdictResult::Incomplete));
  EXPECT_LT(VerdictRank(VerdictResult::Incomplete), VerdictRank(VerdictResult::Fail));
}

TEST(Golden, ChecksEachListedFigureWithinItsTolerance) {
  const GoldenUnit unit{"G-01", {{"P", 36.2, 0.5}, {"PF", 0.95, 0.02}, {"Pout", 31, 1}}};
  const auto judge = [&](std::vector<NamedFigure> figures) {
    return GoldenVerdict(unit, InputTest, figures, "T8", "r2");
  };
  // Pout is a comprehensive figure: an input run neither passes nor fails it.
  Verdict v = judge({{"P", 36.7, true}, {"PF", 0.929, true}});
  EXPECT_EQ(v.Result, VerdictResult::Fail);  // 0.95 - 0.929 > 0.02
  ASSERT_EQ(v.Rules.size(), 3u);
  EXPECT_EQ(v.Rules[0].Outcome, RuleOutcome::Pass);  // exactly at the edge
  EXPECT_EQ(v.Rules[1].Outcome, RuleOutcome::Fail);
  EXPECT_EQ(v.Rules[2].Outcome, RuleOutcome::NotApplicable);
  EXPECT_EQ(v.ProfileName, "T8");
  EXPECT_NE(v.Detail.find("golden"), std::string::npos);
  EXPECT_EQ(judge({{"P", 36.0, true}, {"PF", 0.96, true}}).Result, VerdictResult::Pass);
  EXPECT_EQ(judge({{"P", 36.0, true}, {"PF", 0, false}}).Result, VerdictResult::Incomplete);
  EXPECT_EQ(judge({{"Urms", 230, true}}).Result, VerdictResult::NotApplicable);
}

TEST(Golden, IsDueAfterEachShiftStartAndAfterItsInterval) {
  constexpr std::int64_t H = 3'600'000, Day = 24 * H;
  const std::int64_t offset = 8 * H;  // local time is UTC+8
  // Local 2026-12-08 10:00 is 02:00 UTC.
  const std::int64_t day = 20'430 * Day, now = day + 2 * H;
  GoldenDue shifts{{6 * 60, 14 * 60, 22 * 60}, std::nullopt};
  EXPECT_TRUE(GoldenCheckDue(shifts, 0, now, offset));             // never checked
  EXPECT_FALSE(GoldenCheckDue(shifts, now - 3 * H, now, offset));  // 07:00 local, after the 06:00 start
  EXPECT_TRUE(GoldenCheckDue(shifts, now - 5 * H, now, offset));   // 05:00 local, before it
  EXPECT_TRUE(GoldenCheckDue(shifts, now + H, now, offset));       // a check from the future counts for nothing
  // Just after midnight the last start is yesterday's 22:00.
  const std::int64_t early = day - 8 * H + 30 * 60'000;  // 00:30 local
  EXPECT_FALSE(GoldenCheckDue(shifts, early - 2 * H, early, offset));
  EXPECT_TRUE(GoldenCheckDue(shifts, early - 3 * H, early, offset));
  const GoldenDue hours{{}, 8.0};
  EXPECT_FALSE(GoldenCheckDue(hours, now - 8 * H + 1, now, offset));
  EXPECT_TRUE(GoldenCheckDue(hours, now - 8 * H, now, offset));
  EXPECT_FALSE(GoldenCheckDue(GoldenDue{}, 0, now, offset));  // nothing required
}

TEST(Calibration, WarnsFourteenDaysAheadAndBlocksAfterTheDueDate) {
  EXPECT_EQ(CalibrationState(100, false, 500), Calibration::NotSet);
  EXPECT_EQ(CalibrationState(100, true, 85), Calibration::Valid);
  EXPECT_EQ(CalibrationState(100, true, 86), Calibration::DueSoon);
  EXPECT_EQ(CalibrationState(100, true, 100), Calibration::DueSoon);
  EXPECT_EQ(CalibrationState(100, true, 101), Calibration::Overdue);
}

TEST(Users, SecretsAreSaltedAndTheUserFileRefusesWhatCouldLetSomeoneIn) {
  std::string a, b;
  ASSERT_EQ(HashSecret("1234", a), 0);
  ASSERT_EQ(HashSecret("1234", b), 0);
  EXPECT_NE(a, b) << "salted";
  EXPECT_TRUE(SecretMatches(a, "1234"));
  EXPECT_FALSE(SecretMatches(a, "1235"));
  EXPECT_FALSE(SecretMatches("", ""));
  EXPECT_FALSE(SecretMatches("$argon2id$garbage", "1234"));

  const std::vector<User> users{{"张工", Role::Engineer, a}, {"ann", Role::Operator, b}};
  std::vector<User> back;
  ProfileMessage m;
  ASSERT_EQ(ParseUsers(UsersToJson(users), back, m), 0) << m.English;
  EXPECT_EQ(back, users);
  const std::string h = "\"" + a + "\"";
  const std::pair<std::string, const char*> bad[] = {
      {"[]", "must be {\"users\": [...]}"},
      {R"({"users": [], "admin": true})", "must be {\"users\": [...]}"},
      {R"({"users": [{"name": "x", "role": "operator"}]})", "exactly \"name\", \"role\" and \"hash\""},
      {R"({"users": [{"name": "x", "role": "root", "hash": )" + h + "}]}", "the role is operator, engineer or admin"},
      {R"({"users": [{"name": "x", "role": "admin", "hash": "plain-1234"}]})", "not a password hash"},
      {R"({"users": [{"name": " x", "role": "admin", "hash": )" + h + "}]}", "one line of text"},
      {R"({"users": [{"name": "x", "role": "admin", "hash": )" + h +
           R"(}, {"name": "x", "role": "operator", "hash": )" + h + "}]}",
       "listed twice"},
      {R"({"users": [{"name": ")" + std::string(31, 'n') + R"(", "role": "admin", "hash": )" + h + "}]}",
       "at most 30 bytes"},
  };
  for (const auto& [text, words] : bad) {
    back = users;
    EXPECT_EQ(ParseUsers(text, back, m), 1) << text;
    EXPECT_NE(m.English.find(words), std::string::npos) << m.English;
    EXPECT_EQ(back, users) << "a refused file changes nothing";
  }
  EXPECT_EQ(CheckSecret("123", m), 1);
  EXPECT_EQ(CheckSecret(std::string(129, '1'), m), 1);
}

TEST(Golden, TheGateRefusesProductionUntilAPassingCheckAndAnOverrideLiftsIt) {
  Profile p;
  p.Name = "T8";
  p.Golden = {{"G-01", {{"P", 36, 1}, {"Pout", 31, 1}}}};
  p.Due.EveryHours = 8;
  ProductionGate gate{&p, false, 0, 100 * 3'600'000LL, 0, Calibration::Valid, "2027-01-01", false, false};
  EXPECT_NE(BlockedBecause(gate).English.find("golden sample check due"), std::string::npos);
  gate.GoldenSerial = true;  // the check itself runs
  EXPECT_EQ(BlockedBecause(gate).English, "");
  gate.GoldenSerial = false;
  gate.LastGoldenPassMs = gate.NowMs - 3'600'000;
  EXPECT_EQ(BlockedBecause(gate).English, "");
  gate.Instrument = Calibration::Overdue;
  gate.GoldenSerial = true;  // nor a check, on an instrument out of calibration
  EXPECT_NE(BlockedBecause(gate).English.find("calibration overdue (due 2027-01-01)"), std::string::npos);
  gate.CalibrationOverridden = true;
  EXPECT_EQ(BlockedBecause(gate).English, "");

  // A sequence that never measures a listed figure cannot vouch for it.
  const Verdict input = GoldenVerdict(p.Golden[0], InputTest, {{"P", 36.5, true}}, "T8", "");
  const Verdict comp = GoldenVerdict(p.Golden[0], CompTest, {{"P", 36.2, true}, {"Pout", 31.4, true}}, "T8", "");
  EXPECT_EQ(input.Result, VerdictResult::Pass);
  EXPECT_EQ(GoldenSequenceVerdict(p.Golden[0], {input}).Result, VerdictResult::Incomplete);
  EXPECT_EQ(GoldenSequenceVerdict(p.Golden[0], {input}).Missing, std::vector<std::string>{"Pout"});
  EXPECT_EQ(GoldenSequenceVerdict(p.Golden[0], {input, comp}).Result, VerdictResult::Pass);

  std::int64_t day = 0;
  ASSERT_TRUE(ParseDay("2026-12-08", day));
  EXPECT_EQ(day, 20'795);
  ASSERT_TRUE(ParseDay("2024-02-29", day));
  for (const char* bad : {"2026-02-29", "2026-13-01", "26-12-08", "2026-12-08x", "2026/12/08", ""})
    EXPECT_FALSE(ParseDay(bad, day)) << bad;
}

}  // namespace
}  // namespace kt

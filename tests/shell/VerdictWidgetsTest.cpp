// The verdict band's colours and lines per verdict and language, and the
// profile editor refusing what a load would refuse and saving what loads back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTableWidget>
#include <QValidator>

#include <unistd.h>

#include <filesystem>

#include "WindowRig.h"
#include "measurements/input/InputPage.h"
#include "shell/LineFeatures.h"
#include "shell/ScriptedDialogs.h"
#include "shell/TProfileForm.h"
#include "shell/TVerdictBand.h"
#include "support/Recording.h"
#include "support/Verdicts.h"
#include "verdict/ClassC.h"

namespace kt {
namespace {

using test::Judged;
using test::Rule;

Profile Limits(std::string name, std::string revision, std::string type, std::vector<ProfileRule> rules) {
  Profile p;
  p.Name = std::move(name), p.Revision = std::move(revision), p.Type = std::move(type), p.Rules = std::move(rules);
  return p;
}

QString Line(const TVerdictBand& band, const char* name) {
  const auto* l = band.findChild<QLabel*>(name);
  return l && !l->isHidden() ? l->text() : QStringLiteral("<hidden>");
}

TEST(VerdictBand, LinesInThePagesWordsReasonFirstAndThePreviousRunMuted) {
  const Verdict pass = Judged(VerdictResult::Pass, {Rule("PF", RuleOutcome::Pass, 0.97, 0.95)});
  const Verdict fail = Judged(
      VerdictResult::Fail, {Rule("THDI", RuleOutcome::Fail, 12.3, {}, 10.0), Rule("PF", RuleOutcome::Fail, 0.9, 0.95)});
  Verdict incomplete = Judged(VerdictResult::Incomplete, {Rule("PFw", RuleOutcome::NotMeasured)});
  incomplete.Reason = "needs the phase-angle test", incomplete.ReasonChinese = "需要相位角测试";
  incomplete.LimitsNote = "t8.json is damaged", incomplete.LimitsNoteChinese = "t8.json 已损坏";
  Verdict screening = Judged(VerdictResult::NotApplicable, {});
  screening.Screening = true;
  screening.ProfileName = ClassCName, screening.ProfileRevision = ClassCRevision;
  screening.Detail = "no harmonics", screening.DetailChinese = "不测谐波";
  const char* const en = "Limits: T8 36W, revision 3";
  const char* const zh = "限值：T8 36W，版本 3";
  const char* const hidden = "<hidden>";

  const struct {
    const Verdict& v;
    bool chinese;
    QColor field;
    const char* lines[5];  // word, first, second, note, limits
    // clang-format off
  } cases[] = {
      {pass, false, QColor(0x2E, 0x7D, 0x32), {"PASS", hidden, hidden, hidden, en}},
      {pass, true, QColor(0x2E, 0x7D, 0x32), {"合格", hidden, hidden, hidden, zh}},
      {fail, false, QColor(0xC6, 0x28, 0x28), {"FAIL", "THDI 12.3 % > 10.0 %; PF 0.900 < 0.950", hidden, hidden, en}},
      {fail, true, QColor(0xC6, 0x28, 0x28), {"不合格", "电流总谐波 12.3 % > 10.0 %；功率因数 0.900 < 0.950", hidden, hidden, zh}},
      {incomplete, false, QColor(0xC7, 0x77, 0x00), {"INCOMPLETE", "needs the phase-angle test", "PFw not measured",
       "t8.json is damaged", en}},
      {incomplete, true, QColor(0xC7, 0x77, 0x00), {"不完整", "需要相位角测试", "宽频功率因数 未测得", "t8.json 已损坏", zh}},
      {screening, false, QColor(0x75, 0x75, 0x75), {"N/A", "no harmonics", hidden, hidden,
       "Limits: iec-61000-3-2-class-c Ed. 5.0 2018+A1:2020 (screening, single capture)"}},
      {screening, true, QColor(0x75, 0x75, 0x75), {"不适用", "不测谐波", hidden, hidden,
       "限值：iec-61000-3-2-class-c Ed. 5.0 2018+A1:2020（筛查，单次采样）"}},
  };
  // clang-format on
  TVerdictBand band;
  band.resize(1900, TVerdictBand::BaseHeight);
  for (const auto& c : cases) {
    // The language is switched while the verdict is up: it is written again.
    band.SetChinese(!c.chinese);
    band.ShowVerdict(c.v);
    band.SetChinese(c.chinese);
    EXPECT_EQ(band.palette().color(QPalette::Window), c.field) << c.lines[0];
    EXPECT_EQ(band.findChild<QLabel*>("VerdictWord")->palette().color(QPalette::WindowText), QColor(Qt::white));
    const char* const names[] = {"VerdictWord", "VerdictFirst", "VerdictSecond", "VerdictNote", "VerdictLimits"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Line(band, names[i]), QString::fromUtf8(c.lines[i])) << names[i];
    EXPECT_EQ(Line(band, "VerdictTag"), hidden);
    EXPECT_EQ(band.Result(), c.v.Result);
  }

  // Several failing figures: whole ones on the large line, the rest below.
  Verdict many = Judged(VerdictResult::Fail, {});
  for (const char* f :
       {"CurrentHarmonicPct[3]", "CurrentHarmonicPct[5]", "CurrentHarmonicPct[7]", "CurrentHarmonicPct[9]"})
    many.Rules.push_back(Rule(f, RuleOutcome::Fail, 40.0, {}, 30.0));
  band.SetChinese(false);
  band.resize(700, TVerdictBand::BaseHeight);
  band.ShowVerdict(many);
  EXPECT_EQ(Line(band, "VerdictFirst") + "; " + Line(band, "VerdictSecond"),
            QString::fromStdString("Current 3rd harmonic 40.0 % > 30.0 %; Current 5th harmonic 40.0 % > 30.0 %; "
                                   "Current 7th harmonic 40.0 % > 30.0 %; Current 9th harmonic 40.0 % > 30.0 %"));

  // A run starts: the verdict stays, tagged and muted, but is no longer the
  // verdict of what is shown; the next one replaces it.
  band.MarkPrevious();
  EXPECT_EQ(band.Result(), VerdictResult::None);
  EXPECT_EQ(Line(band, "VerdictTag") + " " + Line(band, "VerdictWord"), QStringLiteral("previous run FAIL"));
  EXPECT_EQ(band.palette().color(QPalette::Window), TVerdictBand::PreviousColour(VerdictResult::Fail));
  EXPECT_NE(band.findChild<QLabel*>("VerdictWord")->palette().color(QPalette::WindowText), QColor(Qt::white));
  band.ShowVerdict(pass);
  EXPECT_TRUE(Line(band, "VerdictTag") == hidden && band.Result() == VerdictResult::Pass);

  // Before any verdict: the neutral field with the limits in force only.
  TVerdictBand fresh;
  fresh.SetChinese(true);
  fresh.SetProfileName(QString::fromUtf8(ClassCName));
  fresh.MarkPrevious();
  EXPECT_EQ(fresh.Result(), VerdictResult::None);
  EXPECT_EQ(Line(fresh, "VerdictWord") + Line(fresh, "VerdictFirst") + Line(fresh, "VerdictTag"),
            QStringLiteral("—<hidden><hidden>"));
  EXPECT_EQ(Line(fresh, "VerdictLimits"), "限值：iec-61000-3-2-class-c Ed. 5.0 2018+A1:2020（筛查，单次采样）");
  const QColor neutral = fresh.palette().color(QPalette::Window);
  for (VerdictResult r :
       {VerdictResult::Pass, VerdictResult::Fail, VerdictResult::Incomplete, VerdictResult::NotApplicable})
    EXPECT_TRUE(neutral != TVerdictBand::FieldColour(r) && neutral != TVerdictBand::PreviousColour(r) &&
                TVerdictBand::PreviousColour(r) != TVerdictBand::FieldColour(r));
}

// In the real window filling a full-HD screen the band grows, stays above
// the page, and its first line is at least as tall as the page's values.
TEST(VerdictBand, FirstLineAsTallAsThePageValuesAtFullHd) {
  test::WindowRig rig({"none"});
  rig.f().ChineseMode = 0;  // the English page's values are the taller
  TVerdictBand& band = *rig.w().findChild<TVerdictBand*>("VerdictBand");
  band.ShowVerdict(Judged(VerdictResult::Fail, {Rule("THDI", RuleOutcome::Fail, 12.3, {}, 10.0)}));
  band.show();
  rig.w().resize(1920, 1080);
  const QWidget* page = rig.w().findChild<QWidget*>("PaintBox1");
  const auto top = [&](const QWidget* w) { return w->mapTo(&rig.w(), QPoint()).y(); };
  const int grown = TVerdictBand::HeightFor(1080);
  EXPECT_GT(grown, TVerdictBand::BaseHeight);
  EXPECT_TRUE(test::WaitFor([&] { return band.height() == grown && top(&band) + grown <= top(page); }, 5000));
  test::RecordingCanvas canvas;
  PaintInputPage(rig.f(), canvas, page->width(), page->height());
  const std::string value = canvas.Texts("Urms (V)").at(0);
  const QFontMetrics first(band.findChild<QLabel*>("VerdictFirst")->font());
  EXPECT_GE(first.ascent() + first.descent(), std::stoi(value.substr(value.rfind('"') + 2))) << value;
}

struct FormRig {
  ScriptedDialogs dialogs;
  TProfileForm form{dialogs};
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kt-profile-form-" + std::to_string(::getpid()));
  QString path;
  FormRig() {
    std::filesystem::create_directories(dir);
    path = QString::fromStdString((dir / "t8.json").string());
  }
  ~FormRig() { std::filesystem::remove_all(dir); }
  void SetRule(int row, const char* figure, const char* min, const char* max, const char* note = "") {
    form.Cell(row, TProfileForm::FigureColumn)->setText(QString::fromUtf8(figure));
    form.Cell(row, TProfileForm::MinColumn)->setText(QString::fromUtf8(min));
    form.Cell(row, TProfileForm::MaxColumn)->setText(QString::fromUtf8(max));
    form.Cell(row, TProfileForm::NoteColumn)->setText(QString::fromUtf8(note));
  }
};

// Refusals name the rule, in the window's language, and nothing is written.
TEST(ProfileForm, RefusesWithTheRuleNamed) {
  const struct {
    bool chinese;
    const char *min, *max, *message, *caption;
  } cases[] = {
      {false, "2", "1.7", "profile \"t8.json\", rule 2 (CFi): min 2 is above max 1.7", "Warning"},
      {true, "2", "1.7", "限值文件“t8.json”第 2 条规则（CFi）：下限 2 大于上限 1.7", "警告"},
      {false, "1e", "", "profile \"t8.json\", rule 2 (CFi): min \"1e\" is not a number", "Warning"},
      {true, "", "-", "限值文件“t8.json”第 2 条规则（CFi）：上限 max“-”不是数", "警告"},
      {false, "", "", "profile \"t8.json\", rule 2 (CFi): has neither min nor max", "Warning"},
  };
  for (const auto& c : cases) {
    FormRig rig;
    rig.form.SetChinese(c.chinese);
    rig.form.Load(Limits("T8", "", "", {{"PF", 0.95, std::nullopt, ""}}), rig.path);
    rig.form.AddRule();
    rig.SetRule(1, "CFi", c.min, c.max);
    rig.form.Save();
    ASSERT_EQ(rig.dialogs.messages.size(), 1u) << c.message;
    EXPECT_EQ(rig.dialogs.messages[0].first, c.message);
    EXPECT_EQ(rig.dialogs.messages[0].second, c.caption);
    EXPECT_NE(rig.form.result(), QDialog::Accepted);
    EXPECT_FALSE(std::filesystem::exists(rig.dir / "t8.json"));
  }
}

// Bounds in '.' form whatever the locale, both ways; a blank row is no rule;
// what is saved loads back as the same profile.
TEST(ProfileForm, SavesWhatLoadsBack) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // ',' as the decimal separator
  FormRig rig;
  rig.form.Load(Limits("", "", "", {{"PF", 0.95, std::nullopt, ""}}), rig.path);
  EXPECT_EQ(rig.form.Cell(0, TProfileForm::MinColumn)->text(), QStringLiteral("0.95"));
  int pos = 0;
  QString comma = QStringLiteral("0,95"), dot = QStringLiteral("-1.5e2");
  const QValidator* v = rig.form.Cell(0, TProfileForm::MinColumn)->validator();
  EXPECT_EQ(v->validate(comma, pos), QValidator::Invalid);
  EXPECT_EQ(v->validate(dot, pos), QValidator::Acceptable);
  EXPECT_EQ(rig.form.Rules()->cellWidget(0, TProfileForm::FigureColumn)->findChild<QLineEdit*>(),
            rig.form.Cell(0, TProfileForm::FigureColumn));
  EXPECT_GT(qobject_cast<QComboBox*>(rig.form.Rules()->cellWidget(0, 0))->findText("CurrentHarmonicPct[39]"), 0);

  rig.form.findChild<QLineEdit*>("ProfileName")->setText(QStringLiteral(" T8 36 W "));
  rig.form.findChild<QLineEdit*>("ProfileRevision")->setText(QStringLiteral("4"));
  rig.form.findChild<QLineEdit*>("ProfileType")->setText(QStringLiteral("EB-236"));
  for (int i = 0; i < 3; ++i) rig.form.AddRule();
  rig.SetRule(1, "", "", "");  // left blank
  rig.SetRule(2, "Urms", "207", "253", "230 V ±10 %");
  rig.SetRule(3, "CurrentHarmonicPct[3]", "", "1.5e1");
  rig.form.Rules()->setCurrentCell(0, 0);
  rig.form.RemoveRule();  // the PF rule goes
  rig.form.Save();
  QLocale::setDefault(before);

  ASSERT_TRUE(rig.dialogs.messages.empty()) << rig.dialogs.messages[0].first;
  EXPECT_EQ(rig.form.result(), QDialog::Accepted);
  const Profile expected =
      Limits("T8 36 W", "4", "EB-236",
             {{"Urms", 207.0, 253.0, "230 V ±10 %"}, {"CurrentHarmonicPct[3]", std::nullopt, 15.0, ""}});
  Profile back;
  ProfileMessage error;
  ASSERT_EQ(LoadProfile(rig.path.toStdString(), back, error), 0) << error.English;
  EXPECT_TRUE(SameContent(back, expected)) << back.RawText;
  EXPECT_TRUE(SameContent(rig.form.Result(), expected));
  EXPECT_EQ(rig.form.Result().RawText, back.RawText);
  EXPECT_EQ(rig.form.Rules()->rowCount(), 2);
}

// Changed bounds or rated power under the loaded revision: Save offers the
// next one. A note, name or type alone, or a revision typed, do not ask.
// The rated power is kept unless its box is emptied.
TEST(ProfileForm, OffersToRaiseTheRevision) {
  const struct {
    const char *revision, *max, *power, *note, *typed;
    bool chinese, answer;
    const char *saved, *question;
  } cases[] = {
      {"3", "0.99", "36", "", "3", false, true, "4",
       "The limits have changed but the revision is still \"3\". Raise it to \"4\"?"},
      {"A.7", "", "40", "", "A.7", true, true, "A.8", "限值已改动，版本却仍是“A.7”。把版本改为“A.8”吗？"},
      {"3", "", "", "", "3", false, false, "3",
       "The limits have changed but the revision is still \"3\". Raise it to \"4\"?"},
      {"3", "", "36", "new note", "3", false, true, "3", nullptr},
      {"3", "0.99", "36", "", "5", false, true, "5", nullptr},
  };
  for (const auto& c : cases) {
    FormRig rig;
    rig.dialogs.confirmAnswer = c.answer;
    rig.form.SetChinese(c.chinese);
    Profile loaded = Limits("T8", c.revision, "EB-236", {{"PF", 0.95, std::nullopt, ""}});
    loaded.RatedPowerW = 36;
    rig.form.Load(loaded, rig.path);
    rig.form.findChild<QLineEdit*>("ProfileName")->setText(QStringLiteral("T8 renamed"));
    rig.form.findChild<QLineEdit*>("ProfileRevision")->setText(QString::fromUtf8(c.typed));
    rig.form.findChild<QLineEdit*>("ProfileRatedPower")->setText(QString::fromUtf8(c.power));
    rig.SetRule(0, "PF", "0.95", c.max, c.note);
    rig.form.Save();
    EXPECT_EQ(rig.dialogs.questions, c.question ? std::vector{QString::fromUtf8(c.question)} : std::vector<QString>{});
    Profile back;
    ProfileMessage error;
    ASSERT_EQ(LoadProfile(rig.path.toStdString(), back, error), 0) << error.English;
    EXPECT_EQ(back.Revision, c.saved);
    EXPECT_EQ(back.RatedPowerW, *c.power ? std::optional(std::stod(c.power)) : std::nullopt) << c.saved;
  }
  for (const auto& [before, after] :
       {std::pair{"", "1"}, {"B", "B.1"}, {"9", "10"}, {"A.09", "A.10"}, {"1.99", "1.100"}})
    EXPECT_EQ(RaisedRevision(before), after);
}

}  // namespace
}  // namespace kt

// What a misbehaving instrument does to the running program: the real main
// window, the simulator on a real pseudo-terminal. Each case first measures
// and stores a good result, then swaps in a faulty instrument on the same
// line, and checks that the program keeps running, tells the operator as it
// should, retries as it should, and that the good results, their Back/Next
// copies and the stored file are untouched.
#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <QToolButton>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "core/AnalysisData.h"
#include "shell/TAlarmForm.h"
#include "shell/TBaoLuoForm.h"
#include "shell/WindowRig.h"

namespace kt {
namespace {

using namespace std::chrono;
using test::WaitFor;
using test::WindowRig;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The good state every fault must leave alone.
struct GoodState {
  InputResult input;
  InputSnapshot snapshot;
  std::string file;
};

struct FaultRig : WindowRig {
  GoodState good;
  std::string record;

  // A good single input test, stored, then the faulty instrument on the line.
  explicit FaultRig(std::vector<std::string> faultArgs) {
    w().InputTestLockBtnClick();
    if (!WaitFor([&] { return w().Runs() == 1; }, 5000)) throw std::runtime_error("no good run");
    record = folder.File("good.dat");
    dialogs.saveAnswers.push_back(QString::fromStdString(record));
    w().StoreFileClick();
    good = {f().M.Input, f().M.InputSnap, ReadFile(record)};
    Swap(std::move(faultArgs));
  }
  // Releases the lock the single test set: Timer1, ticking all along, starts
  // the next run of the same test without clearing the results, as in a
  // continuous test.
  void Resume() { w().LockTestClick(); }
  void Swap(std::vector<std::string> args) {
    std::vector<std::string> all = {"--link", folder.File("COM2"), "--exit-with-parent", "--seed", "12"};
    all.insert(all.end(), args.begin(), args.end());
    sim.Stop();
    if (sim.Start(all) != 0) throw std::runtime_error("simulator: " + sim.Error());
  }
  void ExpectGoodStateIntact() {
    // Another kind's run may clear the working record, never the copy or the file.
    EXPECT_EQ(std::memcmp(&f().M.InputSnap, &good.snapshot, sizeof good.snapshot), 0) << "Back/Next copy changed";
    EXPECT_EQ(ReadFile(record), good.file) << "stored file changed";
    EXPECT_TRUE(w().isVisible()) << "the program must keep running";
  }
  void ExpectInputIntact() {
    EXPECT_EQ(std::memcmp(&f().M.Input, &good.input, sizeof good.input), 0) << "results changed by a failed run";
  }
};

TEST(FaultMatrix, AnEchoingLineRaisesTheAlarmAndKeepsRetrying) {
  FaultRig rig({"--echo"});
  rig.Resume();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 4000));
  const auto shown = rig.w().statuses.size();
  ASSERT_TRUE(WaitFor([&] { return rig.w().statuses.size() > shown + 2; }, 4000)) << "Timer1 retries";
  EXPECT_EQ(rig.w().Runs(), 1);
  rig.ExpectInputIntact();
  rig.ExpectGoodStateIntact();
}

TEST(FaultMatrix, ASilentInstrumentGivesTheMessageWhenLockedAndTheAlarmOtherwise) {
  FaultRig rig({"--silent"});
  rig.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return !rig.dialogs.messages.empty(); }, 4000));
  EXPECT_EQ(rig.dialogs.messages.back(), std::make_pair(std::string("通讯联络失败！"), std::string("警告！")));
  EXPECT_FALSE(rig.w().Timer1().isActive()) << "locked: no retry";
  rig.w().InputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 4000));
  EXPECT_TRUE(rig.w().Timer1().isActive());
  rig.ExpectGoodStateIntact();
}

TEST(FaultMatrix, ABlockJustInTimeIsTakenAndOneJustTooLateEndsTheRun) {
  {
    FaultRig rig({"--delay-block", "2", "--delay-ms", "1850"});
    rig.w().InputTestLockBtnClick();
    ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 2; }, 6000));
    EXPECT_FALSE(rig.w().AlarmForm().isVisible());
    EXPECT_EQ(ReadFile(rig.record), rig.good.file);
  }
  FaultRig rig({"--delay-block", "2", "--delay-ms", "2150"});
  rig.Resume();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 6000));
  EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("性能测试：通讯联络！"));
  EXPECT_EQ(rig.w().Runs(), 1);
  rig.ExpectInputIntact();
  rig.ExpectGoodStateIntact();
}

TEST(FaultMatrix, BlocksInOneBytePiecesStillMakeAGoodRun) {
  FaultRig rig({"--split", "1", "--split-gap-ms", "0"});
  rig.w().CompTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 2; }, 8000));
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  EXPECT_GT(rig.f().M.Input.Urms, 200.0f);
  EXPECT_GT(rig.f().M.Output.Vrms, 90.0f);
  EXPECT_EQ(std::memcmp(&rig.f().M.InputSnap, &rig.good.snapshot, sizeof rig.good.snapshot), 0)
      << "a comprehensive run leaves the input test's copy alone";
  EXPECT_EQ(ReadFile(rig.record), rig.good.file);
}

TEST(FaultMatrix, GarbageBetweenRunsNeverSpoilsAContinuousTest) {
  FaultRig rig({"--garbage", "37"});
  rig.w().InputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() >= 6; }, 15000));
  rig.w().LockTestClick();
  WaitFor([&] { return !rig.f().TestBusy; }, 3000);
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  for (const auto& s : rig.w().statuses) EXPECT_NE(s, "性能测试：通讯联络！");
  EXPECT_GT(rig.f().M.Input.Urms, 200.0f) << "every run decodes real blocks";
  EXPECT_LT(rig.f().M.Input.Urms, 260.0f);
  EXPECT_EQ(ReadFile(rig.record), rig.good.file);
}

TEST(FaultMatrix, AnInstrumentThatVanishesMidBlockIsFoundAgainWhenItComesBack) {
  FaultRig rig({"--vanish-at-block", "2"});
  rig.Resume();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 5000));
  EXPECT_EQ(rig.w().Runs(), 1);
  rig.ExpectInputIntact();
  rig.ExpectGoodStateIntact();
  // Switched on again: a new line under the same name. The retries find it.
  rig.Swap({});
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() >= 2; }, 8000));
  EXPECT_FALSE(rig.w().AlarmForm().isVisible()) << "a good handshake hides the alarm";
  EXPECT_GT(rig.f().M.Input.Urms, 200.0f);
}

TEST(FaultMatrix, ACloseRequestDuringARunOfEachKindClosesWhenTheRunEnds) {
  struct Case {
    const char* name;
    void (TKT5100Form::*command)();
  } cases[] = {{"input", &TKT5100Form::InputTestClick},
               {"output", &TKT5100Form::OutputTestClick},
               {"comp", &TKT5100Form::CompTestClick},
               {"start", &TKT5100Form::StartTestComdClick},
               {"phase", &TKT5100Form::CurrentClick}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultRig rig({"--delay-block", "2", "--delay-ms", "700"});
    (rig.w().*c.command)();
    ASSERT_TRUE(WaitFor([&] { return rig.f().CommStep == 2; }, 4000));
    const auto asked = steady_clock::now();
    rig.w().close();
    EXPECT_TRUE(rig.w().isVisible()) << "held while the run is busy";
    ASSERT_TRUE(WaitFor([&] { return !rig.w().isVisible(); }, 6000));
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - asked).count(), 3000) << "before the 4 s limit";
    EXPECT_EQ(rig.w().Runs(), 2) << "the run ended normally";
    EXPECT_EQ(std::memcmp(&rig.f().M.InputSnap, &rig.good.snapshot, sizeof rig.good.snapshot) == 0,
              std::string(c.name) != "input")
        << "only a new input measurement replaces the input copy";
    EXPECT_EQ(ReadFile(rig.record), rig.good.file);
  }
}

TEST(FaultMatrix, ClosingTheAnalysisWindowDuringItsRunsLeavesNoRunBehind) {
  for (int kind : {BaoTest, GaoTest}) {
    SCOPED_TRACE(kind == BaoTest ? "envelope" : "analysis");
    FaultRig rig({"--delay-block", "3", "--delay-ms", "600"});
    bool closedMidRun = false;
    rig.dialogs.onModal = [&](QDialog& dialog) {
      dialog.show();
      auto* analysis = qobject_cast<TBaoLuoForm*>(&dialog);
      if (analysis) {
        if (kind == GaoTest) {  // an analysis needs an envelope first
          QTest::mouseClick(analysis->BaoBtn, Qt::LeftButton);
          WaitFor([&] { return analysis->Data().EnvelopeValid == 1 && rig.f().CommStep == 0; }, 8000);
        }
        QTest::mouseClick(kind == BaoTest ? analysis->BaoBtn : analysis->GaoPinBtn, Qt::LeftButton);
        closedMidRun = WaitFor([&] { return rig.f().CommStep == 3; }, 8000);
      }
      dialog.close();
      return static_cast<int>(QDialog::Rejected);
    };
    rig.w().BaoAnaClick();
    ASSERT_TRUE(closedMidRun);
    EXPECT_EQ(rig.f().ShownKind, OutputTest);
    EXPECT_EQ(rig.f().TestBusy, 0);
    const auto statuses = rig.w().statuses.size();
    WaitFor([] { return false; }, 1500);  // the late block arrives meanwhile
    EXPECT_EQ(rig.f().CommStep, 0) << "no run continues without its window";
    EXPECT_EQ(rig.w().statuses.size(), statuses);
    rig.ExpectGoodStateIntact();
  }
}

TEST(FaultMatrix, StoresThatCannotBeWrittenAreReportedAndLeaveNoFileBehind) {
  FaultRig rig({});
  // A full disk (a name that leads to the full device), a place nobody may
  // create files in, a folder that does not exist.
  const std::string full = rig.folder.File("full.dat");
  ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
  for (const std::string& place : {full, std::string("/sys/kernel/notes"), std::string("/nonexistent-folder/record")}) {
    const auto before = rig.dialogs.messages.size();
    rig.dialogs.saveAnswers.push_back(QString::fromStdString(place));
    rig.w().StoreFileClick();
    ASSERT_EQ(rig.dialogs.messages.size(), before + 1) << place;
    EXPECT_EQ(rig.dialogs.messages.back(), std::make_pair(std::string("存数据失败!"), std::string("警告"))) << place;
  }
  rig.ExpectGoodStateIntact();
}

}  // namespace
}  // namespace kt

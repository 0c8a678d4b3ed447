// What a misbehaving instrument or operator does to the running program: the
// real main window, the simulator on a real pseudo-terminal. Each row first
// measures and stores a good result, then puts a faulty instrument on the
// same line, and checks that the program keeps running, tells the operator
// as it should, retries as it should, and leaves the good results, their
// Back/Next copy and the stored file alone. Faults are held long enough
// (blocks late by seconds, or held back for minutes) that how fast the
// machine is cannot change what a row sees.
#include <gtest/gtest.h>

#include <QDialog>
#include <QToolButton>

#include <unistd.h>

#include <chrono>
#include <cstring>

#include "core/AnalysisData.h"
#include "shell/TAlarmForm.h"
#include "shell/TBaoLuoForm.h"
#include "shell/WindowRig.h"

namespace kt {
namespace {

using test::WaitFor;
using test::WindowRig;

constexpr const char* Held = "600000";  // a block held back for ten minutes

struct FaultRig : WindowRig {
  InputResult input;
  InputSnapshot snapshot;
  std::string record;
  std::vector<std::uint8_t> file;

  // A good single input test, stored; then the faulty instrument on the line.
  explicit FaultRig(std::vector<std::string> faultArgs) {
    w().InputTestLockBtnClick();
    if (!WaitFor([&] { return w().runs == 1 && !f().TestBusy; }, 10000)) throw std::runtime_error("no good run");
    record = folder.File("good.dat");
    dialogs.saveAnswers.push_back(QString::fromStdString(record));
    w().StoreFileClick();
    input = f().M.Input;
    snapshot = f().M.InputSnap;
    file = test::ReadBytes(record);
    Swap(std::move(faultArgs), 12);
  }
  // Releases the lock the single test set: Timer1, ticking all along,
  // starts the next run of the same test.
  void Resume() { w().LockTestClick(); }
  void ExpectGoodStateIntact(bool inputToo = true) {
    if (inputToo) {
      EXPECT_EQ(std::memcmp(&f().M.Input, &input, sizeof input), 0) << "results changed";
    }
    EXPECT_EQ(std::memcmp(&f().M.InputSnap, &snapshot, sizeof snapshot), 0) << "Back/Next copy changed";
    EXPECT_EQ(test::ReadBytes(record), file) << "stored file changed";
    EXPECT_TRUE(w().isVisible()) << "the program must keep running";
  }
};

TEST(FaultMatrix, AnEchoingLineRaisesTheAlarmAndKeepsRetrying) {
  FaultRig rig({"--echo"});
  rig.Resume();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 10000));
  const auto shown = rig.w().statuses.size();
  ASSERT_TRUE(WaitFor([&] { return rig.w().statuses.size() > shown + 2; }, 15000)) << "Timer1 retries";
  EXPECT_EQ(rig.w().runs, 1);
  rig.ExpectGoodStateIntact();
}

TEST(FaultMatrix, ASilentInstrumentGivesTheMessageWhenLockedAndTheAlarmOtherwise) {
  FaultRig rig({"--silent"});
  rig.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.Said("通讯联络失败！"); }, 10000));
  EXPECT_EQ(rig.dialogs.messages.back().second, "警告！");
  EXPECT_FALSE(rig.w().Timer1().isActive()) << "locked: no retry";
  rig.w().InputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 10000));
  EXPECT_TRUE(rig.w().Timer1().isActive());
  rig.ExpectGoodStateIntact(false);
}

TEST(FaultMatrix, ALateBlockEndsTheRunAndOneInTimeIsTaken) {
  {
    FaultRig rig({"--delay-block", "2", "--delay-ms", "400"});
    rig.w().InputTestLockBtnClick();
    ASSERT_TRUE(WaitFor([&] { return rig.w().runs == 2 && !rig.f().TestBusy; }, 10000));
    EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  }
  FaultRig rig({"--delay-block", "2", "--delay-ms", "4000"});
  rig.Resume();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 15000));
  EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("性能测试：通讯联络！"));
  EXPECT_EQ(rig.w().runs, 1);
  rig.ExpectGoodStateIntact();
}

TEST(FaultMatrix, BlocksInOneBytePiecesAndGarbageBetweenRunsStillMakeGoodRuns) {
  FaultRig rig({"--split", "1", "--split-gap-ms", "0", "--garbage", "37"});
  rig.w().CompTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().runs >= 4; }, 30000));
  rig.w().LockTestClick();
  ASSERT_TRUE(WaitFor([&] { return !rig.f().TestBusy; }, 10000));
  EXPECT_EQ(rig.w().failedRuns, 0);
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  EXPECT_GT(rig.f().M.Input.Urms, 200.0f);
  EXPECT_GT(rig.f().M.Output.Vrms, 90.0f);
  rig.ExpectGoodStateIntact(false);
}

TEST(FaultMatrix, AnInstrumentThatVanishesMidBlockIsFoundAgainWhenItComesBack) {
  FaultRig rig({"--vanish-at-block", "2"});
  rig.Resume();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 15000));
  EXPECT_EQ(rig.w().runs, 1);
  rig.ExpectGoodStateIntact();
  rig.Swap({});  // switched on again: a new line under the same name
  ASSERT_TRUE(WaitFor([&] { return rig.w().runs >= 2; }, 20000));
  EXPECT_FALSE(rig.w().AlarmForm().isVisible()) << "a good handshake hides the alarm";
}

TEST(FaultMatrix, ACloseRequestDuringARunOfEachKindClosesWhenTheRunEnds) {
  for (auto command : {&TKT5100Form::InputTestClick, &TKT5100Form::OutputTestClick, &TKT5100Form::CompTestClick,
                       &TKT5100Form::StartTestComdClick, &TKT5100Form::CurrentClick}) {
    FaultRig rig({"--delay-block", "1", "--delay-ms", "1500"});
    (rig.w().*command)();
    ASSERT_TRUE(WaitFor([&] { return rig.f().CommStep == 1; }, 10000));
    rig.w().close();
    EXPECT_TRUE(rig.w().isVisible()) << "held while the run is busy";
    ASSERT_TRUE(WaitFor([&] { return !rig.w().isVisible(); }, 15000));
    EXPECT_EQ(rig.w().runs, 2) << "the run ended normally";
    EXPECT_EQ(test::ReadBytes(rig.record), rig.file);
  }
}

TEST(FaultMatrix, ARunThatNeverEndsIsAbandonedFourSecondsAfterTheCloseRequest) {
  FaultRig rig({"--no-blocks"});
  rig.w().StartTestComdClick();
  ASSERT_TRUE(WaitFor([&] { return rig.f().CommStep == 1; }, 10000));
  const auto asked = std::chrono::steady_clock::now();
  rig.w().ExitClick();
  ASSERT_TRUE(WaitFor([&] { return !rig.w().isVisible(); }, 20000));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked).count(),
            3990);
}

TEST(FaultMatrix, ClosingTheAnalysisWindowDuringItsRunsLeavesNoRunBehind) {
  for (int kind : {BaoTest, GaoTest}) {
    SCOPED_TRACE(kind);
    // An envelope takes blocks 1 to 5; an analysis needs one first, then its
    // reply, header and waves: block 3 of the analysis is held back.
    FaultRig rig(kind == BaoTest ? std::vector<std::string>{"--delay-block", "3", "--delay-ms", Held}
                                 : std::vector<std::string>{});
    bool closedMidRun = false;
    rig.dialogs.onModal = [&](QDialog& dialog) {
      dialog.show();
      if (auto* a = qobject_cast<TBaoLuoForm*>(&dialog)) {
        if (kind == GaoTest) {
          QTest::mouseClick(a->BaoBtn, Qt::LeftButton);
          WaitFor([&] { return a->Data().EnvelopeValid == 1 && rig.f().CommStep == 0; }, 10000);
          rig.Swap({"--delay-block", "3", "--delay-ms", Held}, 12);
        }
        QTest::mouseClick(kind == BaoTest ? a->BaoBtn : a->GaoPinBtn, Qt::LeftButton);
        closedMidRun = WaitFor([&] { return rig.f().CommStep == 3; }, 10000);
      }
      dialog.close();
      return static_cast<int>(QDialog::Rejected);
    };
    rig.w().BaoAnaClick();
    ASSERT_TRUE(closedMidRun);
    EXPECT_EQ(rig.f().ShownKind, OutputTest);
    EXPECT_EQ(rig.f().TestBusy, 0);
    EXPECT_EQ(rig.f().CommStep, 0) << "no run continues without its window";
    rig.ExpectGoodStateIntact(false);
  }
}

TEST(FaultMatrix, StoresThatCannotBeWrittenAreReported) {
  FaultRig rig({});
  const std::string full = rig.folder.File("full.dat");
  ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
  for (const std::string& place : {full, std::string("/proc/version.dat"), std::string("/nonexistent-folder/record")}) {
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

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
#include <QProgressBar>
#include <QToolButton>

#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

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
  WaitFor([] { return false; }, 1500);
  const int left = rig.w().Timer2().remainingTime();
  rig.w().ExitClick();  // asking again does not put the close off
  EXPECT_LE(rig.w().Timer2().remainingTime(), left);
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
        // The other command waits for this run's end; the run's own button,
        // pressed, is there to leave it by.
        QToolButton* own = kind == BaoTest ? a->BaoBtn : a->GaoPinBtn;
        EXPECT_TRUE(own->isEnabled() && own->isChecked());
        EXPECT_FALSE((kind == BaoTest ? a->GaoPinBtn : a->BaoBtn)->isEnabled() || a->Open->isEnabled());
        kind == BaoTest ? a->GaoTestClick() : a->BaoTestClick();
        EXPECT_EQ(rig.f().RunKind, kind);
        EXPECT_EQ(rig.f().CommStep, 3);
        if (kind == GaoTest) {  // left with its button: the envelope stays, the bar says so
          QTest::mouseClick(own, Qt::LeftButton);
          EXPECT_TRUE(rig.f().RunKind == NoTest && !own->isChecked() && a->Data().EnvelopeValid == 1 &&
                      own->isEnabled());
          EXPECT_EQ(a->ProgressBar1->text(), QString::fromUtf8("已中止"));
        }
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
  // A link planted where the store goes is not followed: the file it points
  // at stays as it was. A FIFO nobody reads is written without waiting.
  const std::string planted = rig.folder.File("planted.dat"), victim = rig.folder.File("victim"),
                    fifo = rig.folder.File("fifo.dat");
  std::ofstream(victim) << "mine";
  ASSERT_TRUE(symlink(victim.c_str(), planted.c_str()) == 0 && mkfifo(fifo.c_str(), 0600) == 0);
  // A "folder" that is a plain file cannot be made, not even by root.
  for (const std::string& place : {planted, fifo, std::string("/proc/version.dat"), rig.record + "/record"}) {
    const auto before = rig.dialogs.messages.size();
    rig.dialogs.saveAnswers.push_back(QString::fromStdString(place));
    rig.w().StoreFileClick();
    ASSERT_EQ(rig.dialogs.messages.size(), before + 1) << place;
    EXPECT_EQ(rig.dialogs.messages.back(), std::make_pair(std::string("存数据失败!"), std::string("警告"))) << place;
  }
  EXPECT_EQ(test::ReadText(victim), "mine");
  rig.ExpectGoodStateIntact();
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

QAction* Menu(WindowRig& rig, const char* name) { return rig.w().findChild<QAction*>(name); }

TEST(FaultMatrix, ARunKeepsItsKindWhateverIsOpenedBrowsedStoredOrPrintedMeanwhile) {
  FaultRig rig({"--start-wait-ms", "3000"});
  rig.w().StartTestComdClick();
  ASSERT_TRUE(WaitFor([&] { return rig.f().RunKind == StartTest && rig.f().CommStep == 1; }, 10000));
  EXPECT_FALSE(Menu(rig, "OpenFile")->isEnabled());
  EXPECT_FALSE(rig.w().PrintBtn->isEnabled());
  rig.dialogs.openAnswers.push_back(QString::fromStdString(rig.record));
  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("during.dat")));
  for (auto command : {&TKT5100Form::OpenFileClick, &TKT5100Form::StoreFileClick, &TKT5100Form::PrintClick,
                       &TKT5100Form::BackClick, &TKT5100Form::NextClick}) {
    (rig.w().*command)();
    EXPECT_EQ(rig.f().ShownKind, StartTest);
    EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("测试进行中，请在本次测试结束后操作"));
  }
  EXPECT_EQ(rig.dialogs.openAnswers.size(), 1u) << "no dialog was shown";
  ASSERT_TRUE(WaitFor([&] { return rig.w().runs == 2 && rig.f().RunKind == NoTest; }, 15000));
  EXPECT_EQ(rig.f().ShownKind, StartTest);
  EXPECT_EQ(rig.f().M.Start.Valid, 1);
  EXPECT_TRUE(Menu(rig, "OpenFile")->isEnabled());
  rig.ExpectGoodStateIntact(false);
  rig.w().OpenFileClick();  // now it opens
  EXPECT_EQ(rig.f().ShownKind, InputTest);
}

TEST(FaultMatrix, ClosingTheAnalysisWindowLeavesTheMainWindowsRunAlone) {
  FaultRig rig({"--delay-block", "2", "--delay-ms", "1500"});
  rig.Resume();  // continuous input runs go on under the analysis window
  rig.dialogs.onModal = [&](QDialog& dialog) {
    dialog.show();
    WaitFor([&] { return rig.f().RunKind == InputTest && rig.f().CommStep == 2; }, 10000);
    dialog.close();
    return static_cast<int>(QDialog::Rejected);
  };
  rig.w().BaoAnaClick();
  EXPECT_EQ(rig.f().ShownKind, InputTest);
  ASSERT_TRUE(WaitFor([&] { return rig.w().runs >= 2; }, 10000));
  EXPECT_EQ(rig.w().failedRuns, 0);
  EXPECT_GT(rig.f().M.Input.Urms, 200.0f);
}

TEST(FaultMatrix, BytesNobodyAskedForNeverStartARun) {
  {  // Noise after each sequence of a single test.
    FaultRig rig({"--garbage", "5"});
    rig.w().InputTestLockBtnClick();
    ASSERT_TRUE(WaitFor([&] { return rig.w().runs == 2 && rig.f().RunKind == NoTest; }, 10000));
    WaitFor([] { return false; }, 1500);
    EXPECT_EQ(rig.w().runs, 2);
  }
  {  // A block that trickles in past its deadline (512 bytes 5 ms apart).
    FaultRig rig({"--split", "1", "--split-gap-ms", "5"});
    rig.w().InputTestLockBtnClick();
    ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 10000));
    WaitFor([] { return false; }, 3000);  // the late bytes come meanwhile
    EXPECT_EQ(rig.w().failedRuns, 1);
    EXPECT_EQ(rig.w().runs, 1);
    EXPECT_TRUE(rig.w().AlarmForm().isVisible()) << "until a handshake succeeds";
    // Over the middle of the main window, not over its menu.
    EXPECT_LT((rig.w().AlarmForm().frameGeometry().center() - rig.w().frameGeometry().center()).manhattanLength(), 8);
  }
  {  // A handshake answered too late: one message, not one per late byte.
    FaultRig rig({"--handshake-delay-ms", "2500"});
    rig.w().InputTestLockBtnClick();
    WaitFor([] { return false; }, 6000);
    EXPECT_EQ(std::count(rig.dialogs.messages.begin(), rig.dialogs.messages.end(),
                         std::make_pair(std::string("通讯联络失败！"), std::string("警告！"))),
              1);
  }
  {  // A line that babbles while nothing is selected costs no repaint.
    WindowRig rig({"none"});
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(symlink(ttyname(slave), rig.folder.File("COM2").c_str()), 0);
    rig.w().ChangePort("COM2");
    WaitFor([] { return false; }, 200);
    const int repaints = rig.w().repaints;
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(write(master, "noise", 5), 5);
      WaitFor([] { return false; }, 20);
    }
    WaitFor([&] { return rig.port.QueuedCount() == 0; }, 5000);
    EXPECT_EQ(rig.w().repaints, repaints);
    EXPECT_EQ(rig.f().RunKind, NoTest);
    close(master);
    close(slave);
  }
}

TEST(FaultMatrix, EveryWaitCanBeLeftAndTheWindowAnswersMeanwhile) {
  FaultRig rig({"--start-wait-ms", Held});
  for (int way = 0; way < 3; ++way) {
    rig.w().StartTestComdClick();
    ASSERT_TRUE(WaitFor([&] { return rig.f().RunKind == StartTest && rig.f().CommStep == 1; }, 10000));
    if (way == 0) {
      rig.w().LockTestClick();  // the lock button leaves the waiting start test
      EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("启动性能测试：已中止"));
    } else if (way == 1) {
      rig.w().InputTestLockBtnClick();  // another command leaves it and runs
      ASSERT_TRUE(WaitFor([&] { return rig.w().runs == 2; }, 10000));
      EXPECT_EQ(rig.f().ShownKind, InputTest);
    } else {
      rig.sim.Stop();  // the instrument switched off: the port knows at once
      ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 10000));
      EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("性能测试：通讯联络！"));
      break;
    }
    ASSERT_TRUE(WaitFor([&] { return rig.f().RunKind == NoTest; }, 10000));
    EXPECT_EQ(rig.f().TestBusy, 0);
  }
  // A handshake is awaited like a block: the window runs on meanwhile.
  rig.Swap({"--silent"});
  rig.w().InputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.f().Link.Handshake != 0; }, 10000));
  bool answered = false;
  QTimer::singleShot(0, [&] { answered = rig.f().Link.Handshake != 0; });
  WaitFor([&] { return answered; }, 3000);
  EXPECT_TRUE(answered) << "an event was handled while the handshake waited";
}

TEST(FaultMatrix, AFailedStoreLeavesTheOldRecordAndTheNameRuleAsksAboutTheFinalName) {
  FaultRig rig({});
  // A disk that fills up part-way: the file may grow to 1000 bytes only.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &small);
  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.record));
  rig.w().StoreFileClick();
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_TRUE(rig.Said("存数据失败!"));
  rig.ExpectGoodStateIntact();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.folder.path), {}), 3) << "no partial file left";

  // "good" names good.dat, which exists: asked about, and kept on "no".
  rig.dialogs.confirmAnswer = false;
  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("good")));
  rig.w().StoreFileClick();
  EXPECT_EQ(rig.dialogs.questions.size(), 1u);
  rig.ExpectGoodStateIntact();
  std::filesystem::create_directory(rig.folder.File("my.data"));
  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("my.data/run")));
  rig.w().StoreFileClick();
  EXPECT_TRUE(std::filesystem::exists(rig.folder.File("my.data/run.dat"))) << "a folder's name does not count";
}

TEST(FaultMatrix, ADamagedRecordDrawsItsTracesInsideTheirFrames) {
  FaultRig rig({});
  auto bytes = rig.file;
  const float tiny = 1e-6f;
  std::memcpy(bytes.data() + 66, &tiny, 4);  // VoltagePeak: every point far past it
  std::memcpy(bytes.data() + 70, &tiny, 4);  // CurrentPeak
  const std::string damaged = rig.folder.File("damaged.dat");
  test::WriteBytes(damaged, bytes);
  rig.dialogs.openAnswers.push_back(QString::fromStdString(damaged));
  rig.w().OpenFileClick();
  ASSERT_EQ(rig.f().ShownKind, InputTest);
  const QImage page = rig.w().PaintBox1->grab().toImage();
  // Above the waveform box stand the titles and the value table only: no
  // pixel of the red voltage or the dark green current trace.
  int traced = 0;
  for (int y = 0; y < page.height() * 84 / 385; ++y)
    for (int x = 0; x < page.width() * 230 / 640; ++x) {
      const QRgb p = page.pixel(x, y);
      traced += p == qRgb(255, 0, 0) || p == qRgb(0, 75, 0);
    }
  EXPECT_EQ(traced, 0);
}

TEST(FaultMatrix, TheAlarmOfAnAnalysisEndsWithItsWindow) {
  FaultRig rig({"--silent"});
  rig.f().TestLocked = 0;
  rig.dialogs.onModal = [&](QDialog& dialog) {
    dialog.show();
    if (auto* a = qobject_cast<TBaoLuoForm*>(&dialog)) {
      QTest::mouseClick(a->BaoBtn, Qt::LeftButton);
      EXPECT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 10000));
    }
    dialog.close();
    return static_cast<int>(QDialog::Rejected);
  };
  rig.w().BaoAnaClick();
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  EXPECT_FALSE(rig.w().Timer1().isActive()) << "no retry of a window that is gone";
}

}  // namespace
}  // namespace kt

// A day on the production line in minutes: continuous runs against the
// instant simulator, watching for failed runs, memory that grows, and
// descriptors or threads that leak. KT_SOAK_RUNS sets the number of runs
// (CI: a few hundred; a full soak is 10 000 per kind).
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <fstream>

#include "runlog/RunLogWriter.h"
#include "shell/LineFeatures.h"
#include "shell/TAlarmForm.h"
#include "shell/WindowRig.h"
#include "station/RunRecorder.h"

namespace kt {
namespace {

using test::WaitFor;

long StatusField(const std::string& key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

TEST(Soak, ContinuousInputAndComprehensiveTestsRunWithoutFailureOrGrowth) {
  const char* v = std::getenv("KT_SOAK_RUNS");
  const int runs = v ? std::max(10, std::atoi(v)) : 300;
  for (auto command : {&TKT5100Form::InputTestClick, &TKT5100Form::CompTestClick}) {
    test::WindowRig rig;
    // The pause between runs is the operator's, not the program's:
    // shortened so that thousands of runs fit into minutes.
    rig.w().Timer1().setInterval(1);
    rig.w().keepLog = false;
    (rig.w().*command)();
    // The baseline is taken once the caches have filled (fonts, the log's
    // pages, the allocator's arenas): the first tens of runs grow by design,
    // and the bound is for what comes after. `runs` more are measured.
    const int warmUp = std::max(50, runs / 3);
    ASSERT_TRUE(WaitFor([&] { return rig.w().runs >= warmUp; }, warmUp * 300 + 120000));
    // The log's writer may be in the middle of a commit, with its files open
    // for it: both counts are taken with it at rest.
    RunLogWriter* log = rig.w().Line().Recorder().Writer();
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(log->WaitIdle(60000), 0);
    const long rss = StatusField("VmRSS"), threads = StatusField("Threads");
    const int fds = OpenDescriptors();
    ASSERT_TRUE(WaitFor([&] { return rig.w().runs >= warmUp + runs; }, runs * 300 + 120000)) << rig.w().runs;
    rig.w().LockTestClick();
    WaitFor([&] { return !rig.f().TestBusy; }, 10000);
    EXPECT_EQ(rig.w().failedRuns, 0);
    EXPECT_FALSE(rig.w().AlarmForm().isVisible());
    EXPECT_TRUE(rig.dialogs.messages.empty());
    ASSERT_EQ(log->WaitIdle(60000), 0);
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer keeps freed memory in quarantine; LeakSanitizer
    // checks that build instead.)
    EXPECT_LT(StatusField("VmRSS") - rss, 1024) << "resident memory grew";
#endif
    EXPECT_LE(OpenDescriptors(), fds) << "descriptors leaked";
    EXPECT_LE(StatusField("Threads"), threads) << "threads leaked";
    std::printf("soak: %d runs, RSS %ld -> %ld kB\n", rig.w().runs, rss, StatusField("VmRSS"));
  }
}

}  // namespace
}  // namespace kt

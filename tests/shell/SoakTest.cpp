// A day on the production line in a few minutes: thousands of continuous
// runs against the instant simulator, watching for failed runs, memory that
// grows, and descriptors or threads that leak. The number of runs comes from
// KT_SOAK_RUNS (CI uses a few hundred; a full soak is 10 000 per test).
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "shell/TAlarmForm.h"
#include "shell/WindowRig.h"

namespace kt {
namespace {

using test::WaitFor;
using test::WindowRig;

// AddressSanitizer keeps freed memory in quarantine, so resident memory
// says nothing about leaks there (LeakSanitizer checks those instead).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRssMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kRssMeaningful = false;
#else
constexpr bool kRssMeaningful = true;
#endif
#else
constexpr bool kRssMeaningful = true;
#endif

int SoakRuns() {
  const char* v = std::getenv("KT_SOAK_RUNS");
  return v ? std::max(10, std::atoi(v)) : 300;
}

long StatusField(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string k = std::string(key) + ":";
  while (std::getline(in, line))
    if (line.rfind(k, 0) == 0) return std::atol(line.c_str() + k.size());
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

struct Usage {
  long rssKb;
  int fds;
  long threads;
};
Usage Now() { return {StatusField("VmRSS"), OpenDescriptors(), StatusField("Threads")}; }

void Soak(void (TKT5100Form::*command)(), const char* name) {
  WindowRig rig;
  // The pause between runs is the operator's, not the program's: shortened
  // so that thousands of runs fit into minutes. Everything else is as on the
  // line.
  rig.w().Timer1().setInterval(1);
  rig.w().keepLog = false;
  const int runs = SoakRuns();
  const int warmUp = std::max(5, runs / 10);
  (rig.w().*command)();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() >= warmUp; }, 60000));
  const Usage before = Now();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() >= runs; }, runs * 200 + 60000)) << rig.w().Runs() << " runs";
  rig.w().LockTestClick();
  WaitFor([&] { return !rig.f().TestBusy; }, 5000);
  const Usage after = Now();

  EXPECT_EQ(rig.w().failedRuns, 0);
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  EXPECT_TRUE(rig.dialogs.messages.empty());
  if (kRssMeaningful) {
    EXPECT_LT(after.rssKb - before.rssKb, 1024) << "resident memory grew";
  }
  EXPECT_LE(after.fds, before.fds) << "descriptors leaked";
  EXPECT_LE(after.threads, before.threads) << "threads leaked";
  std::printf("%s soak: %d runs, RSS %ld -> %ld kB, fds %d -> %d, threads %ld -> %ld\n", name, rig.w().Runs(),
              before.rssKb, after.rssKb, before.fds, after.fds, before.threads, after.threads);
}

TEST(Soak, AContinuousInputTestRunsWithoutFailureOrGrowth) { Soak(&TKT5100Form::InputTestClick, "input"); }
TEST(Soak, AContinuousComprehensiveTestRunsWithoutFailureOrGrowth) { Soak(&TKT5100Form::CompTestClick, "comp"); }

}  // namespace
}  // namespace kt

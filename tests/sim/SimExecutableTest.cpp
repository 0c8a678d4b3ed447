// kt6100-sim over a real pseudo-terminal, talked to through the program's own
// serial port class.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "platform/TermiosPort.h"
#include "sim/Instrument.h"
#include "sim/Responder.h"
#include "sim/SimProcess.h"

namespace kt::sim {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class SimLine : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& args) {
    ASSERT_EQ(sim_.Start(args), 0) << sim_.Error();
    ASSERT_EQ(port_.Open(sim_.SlavePath()), 0);
  }
  void Send(std::uint8_t byte) { ASSERT_EQ(port_.WriteByte(byte), 0); }
  // Waits until `n` bytes are queued (or the time is up) and takes them.
  Bytes Receive(std::size_t n, int timeoutMs = 2000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (port_.QueuedCount() < n && Clock::now() < deadline) port_.WaitForInput(20);
    Bytes b(std::min<std::size_t>(n, port_.QueuedCount()));
    port_.Read(b.data(), static_cast<unsigned>(b.size()));
    return b;
  }
  // How many bytes arrive within `ms` (taken off the queue).
  std::size_t Arriving(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const std::size_t n = port_.QueuedCount();
    Receive(n, 0);
    return n;
  }
  // Queue counts seen while waiting for `n` bytes: how the bytes trickled in.
  std::set<unsigned> CountsUntil(std::size_t n, int timeoutMs = 3000) {
    std::set<unsigned> seen;
    const auto t = Clock::now();
    while (port_.QueuedCount() < n && MsSince(t) < timeoutMs) {
      port_.WaitForInput(50);
      seen.insert(port_.QueuedCount());
    }
    return seen;
  }
  // Runs a whole sequence of blocks of these sizes; returns the last block.
  Bytes Sequence(char command, std::initializer_list<std::size_t> sizes) {
    Bytes block;
    for (std::size_t size : sizes) {
      Send(block.empty() ? command : '!');
      block = Receive(size);
      EXPECT_EQ(block.size(), size);
    }
    return block;
  }
  void Handshake() {
    Send('?');
    const Bytes answer = Receive(1);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_NE(answer[0], '?');
  }

  SimProcess sim_{KT6100_SIM_PATH};
  TermiosPort port_;
};

std::string TempDir() {
  char pattern[] = "/tmp/kt6100-sim-test-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "";
}

TEST_F(SimLine, SessionMatchesTheSeededInstrumentByteForByte) {
  Start({"--seed", "11"});
  Instrument reference(11);
  Handshake();
  // An output sequence cut short by an input command.
  const auto output = Instrument::Blocks(reference.MeasureOutput());
  Send('1');
  EXPECT_EQ(Receive(64), output[0]);
  Send('!');
  EXPECT_EQ(Receive(300), output[1]);
  const auto input = Instrument::Blocks(reference.MeasureInput());
  Send('0');
  EXPECT_EQ(Receive(512), input[0]);
  Send('!');
  EXPECT_EQ(Receive(512), input[1]);
  Send('!');
  EXPECT_EQ(Receive(40), input[2]);
  // High frequency: the position byte looks like a handshake but is a position.
  const auto wave = Instrument::Blocks(reference.MeasureWave('?'));
  Send('4');
  EXPECT_EQ(Receive(1).size(), 1u);
  Send('?');
  EXPECT_EQ(Receive(16), wave[0]);
  for (int k = 1; k <= 4; ++k) {
    Send('!');
    EXPECT_EQ(Receive(1200), wave[k]) << k;
  }
  EXPECT_EQ(Arriving(100), 0u);
}

TEST_F(SimLine, FaultModes) {
  struct Case {
    const char* option;
    Bytes toHandshake, toCommand;  // empty: nothing at all
  };
  const std::uint8_t answer = Responder::HandshakeAnswer;
  for (const Case& m : {Case{"--echo", {'?'}, {'0'}},  // a loopback answers "?" with "?"
                        Case{"--silent", {}, {}}, Case{"--no-blocks", {answer}, {}}}) {
    SCOPED_TRACE(m.option);
    port_.Close();
    Start({m.option});
    Send('?');
    EXPECT_EQ(Receive(1, m.toHandshake.empty() ? 200 : 2000), m.toHandshake);
    Send('0');
    EXPECT_EQ(Receive(1, m.toCommand.empty() ? 200 : 2000), m.toCommand);
    EXPECT_EQ(Arriving(150), 0u);
    EXPECT_TRUE(sim_.Running());
  }
}

TEST_F(SimLine, SplitBlocksArriveInPieces) {
  Start({"--split", "100", "--split-gap-ms", "30"});
  Handshake();
  const auto t = Clock::now();
  Send('0');
  const std::set<unsigned> seen = CountsUntil(512);
  EXPECT_EQ(port_.QueuedCount(), 512u);
  EXPECT_GE(MsSince(t), 5 * 30 - 10);  // six pieces, five gaps
  // Every piece boundary is a multiple of 100 bytes, and we saw several.
  int partial = 0;
  for (unsigned n : seen)
    if (n < 512) {
      EXPECT_EQ(n % 100, 0u) << n;
      ++partial;
    }
  EXPECT_GE(partial, 3);
}

TEST_F(SimLine, LateBlocksComeAfterTheirDelays) {
  Start({"--delay-block", "2", "--delay-ms", "400", "--start-wait-ms", "300"});
  Handshake();
  auto t = Clock::now();
  Send('3');  // the operator switches the lamp off and on first
  ASSERT_EQ(Receive(600).size(), 600u);
  EXPECT_GE(MsSince(t), 280);
  t = Clock::now();
  Send('!');
  ASSERT_EQ(Receive(600).size(), 600u);
  EXPECT_GE(MsSince(t), 380);
  EXPECT_LT(MsSince(t), 1900);
  t = Clock::now();
  Send('!');
  ASSERT_EQ(Receive(600).size(), 600u);
  EXPECT_LT(MsSince(t), 300);
  // A handshake while a block is still due abandons the sequence: the late
  // block never comes.
  Sequence('0', {512});
  Send('!');
  Handshake();
  EXPECT_EQ(Arriving(500), 0u);
}

TEST_F(SimLine, LineRatePacesAt1920BytesPerSecond) {
  Start({"--line-rate"});
  Handshake();
  const auto t = Clock::now();
  std::set<unsigned> seen;
  std::size_t total = 0;
  for (std::size_t size : {512u, 512u, 40u}) {
    Send(total == 0 ? '0' : '!');
    seen.merge(CountsUntil(size));
    ASSERT_EQ(Receive(size).size(), size);
    total += size;
  }
  const double expectedMs = total * 1000.0 / 1920;  // ~554 ms
  EXPECT_GE(MsSince(t), 0.97 * expectedMs);
  EXPECT_LT(MsSince(t), expectedMs + 600);
  EXPECT_GE(seen.size(), 10u);  // trickled in, not in one piece per block
}

TEST_F(SimLine, UnaskedGarbageFollowsEachSequence) {
  Start({"--garbage", "7"});
  Handshake();
  Sequence('1', {64, 300});
  EXPECT_EQ(Arriving(120), 0u);  // nothing unasked in the middle of a sequence
  Sequence('0', {512, 512, 40});
  EXPECT_EQ(Receive(7, 1000).size(), 7u);
  EXPECT_EQ(Arriving(150), 0u);
}

TEST_F(SimLine, OrderFlagIsSetInTheStartSummary) {
  Start({"--order-flag"});
  Handshake();
  const Bytes summary = Sequence('3', {600, 600, 600, 600, 37});
  ASSERT_EQ(summary.size(), 37u);
  EXPECT_EQ(summary[36], 1);
}

TEST_F(SimLine, ProgramCanCloseAndReopenTheLine) {
  Start({"--seed", "3"});
  Handshake();
  for (int round = 0; round < 3; ++round) {
    port_.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(sim_.Running());
    ASSERT_EQ(port_.Open(sim_.SlavePath()), 0);
    EXPECT_FALSE(port_.HungUp());
    Handshake();
  }
  Sequence('1', {64, 300, 300, 300, 300});
  EXPECT_EQ(Arriving(100), 0u);
}

TEST_F(SimLine, LinkIsMadeAndRemoved) {
  const std::string dir = TempDir();
  ASSERT_FALSE(dir.empty());
  const std::string link = dir + "/COM2";
  ASSERT_EQ(symlink("/nonexistent/stale", link.c_str()), 0);  // left over from an earlier run
  ASSERT_EQ(sim_.Start({"--link", link}), 0) << sim_.Error();
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim_.SlavePath());
  ASSERT_EQ(port_.Open(link), 0);
  Handshake();
  port_.Close();
  EXPECT_EQ(sim_.Stop(), 0);
  struct stat st{};
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  rmdir(dir.c_str());
}

TEST_F(SimLine, RefusesToReplaceARegularFile) {
  const std::string dir = TempDir();
  const std::string file = dir + "/COM2";
  std::ofstream(file) << "keep me";
  EXPECT_EQ(sim_.Start({"--link", file}), 1);
  EXPECT_EQ(sim_.ExitStatus(), 1);
  std::string content;
  std::getline(std::ifstream(file), content);
  EXPECT_EQ(content, "keep me");
  std::remove(file.c_str());
  rmdir(dir.c_str());
}

TEST_F(SimLine, BadOptionsAreRefused) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--split", "0"}, {"--delay-block", "2"}, {"--echo", "--silent"}, {"--frobnicate"}}) {
    EXPECT_EQ(sim_.Start(args), 1) << args[0];
    EXPECT_EQ(sim_.ExitStatus(), 2) << args[0];
  }
}

TEST_F(SimLine, VanishesInTheMiddleOfABlock) {
  const std::string dir = TempDir();
  const std::string link = dir + "/COM1";
  ASSERT_EQ(sim_.Start({"--vanish-at-block", "2", "--link", link}), 0) << sim_.Error();
  ASSERT_EQ(port_.Open(link), 0);
  Handshake();
  Send('0');
  ASSERT_EQ(Receive(512).size(), 512u);
  Send('!');
  std::size_t got = 0;
  const auto t = Clock::now();
  while (!port_.HungUp() && MsSince(t) < 2000) {
    port_.WaitForInput(20);
    got += Receive(port_.QueuedCount(), 0).size();
  }
  EXPECT_TRUE(port_.HungUp());
  EXPECT_LE(got, 256u);
  struct stat st{};
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(sim_.Running());  // idle until killed
  EXPECT_EQ(sim_.Stop(), 0);
  rmdir(dir.c_str());
}

// utime + stime of a process, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

TEST_F(SimLine, IdleCostsNoProcessorTime) {
  Start({"--line-rate"});
  Handshake();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const long before = CpuTicks(sim_.Pid());
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  // A spinning loop would burn ~70 ticks here.
  EXPECT_LE(CpuTicks(sim_.Pid()) - before, 5);
}

}  // namespace
}  // namespace kt::sim

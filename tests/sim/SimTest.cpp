// The simulator as a program: what it refuses, and the line it serves. The
// blocks it sends are checked by the program's own tests that decode them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "sim/Instrument.h"
#include "sim/SimOptions.h"
#include "sim/SimProcess.h"
#include "support/Files.h"

namespace kt {
namespace {

TEST(Simulator, RefusesBadOptionsAndAFileInThePlaceOfItsLink) {
  test::TempDir dir;
  std::ofstream(dir.File("COM2")) << "not a link";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--delay-block", "2"},
                                               {"--split", "0"},
                                               {"--echo", "--silent"},
                                               {"--seed", "-1"},
                                               {"--no-such-option"},
                                               {"--link", dir.File("COM2")},
                                               {"--mains-current", "60,50,150"},
                                               {"--mains-power", "0.5"}}) {
    sim::SimProcess s(KT6100_SIM_PATH);
    EXPECT_NE(s.Start(args, 3000), 0) << args.front();
  }
  EXPECT_EQ(test::ReadBytes(dir.File("COM2")).size(), 10u) << "a regular file is left alone";
}

TEST(Simulator, PrintsItsVersionAndEndsWithoutOpeningALine) {
  FILE* pipe = popen((std::string(KT6100_SIM_PATH) + " --version --no-such-option").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[128];
  while (const std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  EXPECT_EQ(pclose(pipe), 0) << "--version ends before the options after it are read";
  EXPECT_TRUE(std::regex_match(out, std::regex("kt6100-sim [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << out;
}

TEST(Simulator, ServesTheHandshakeAndACommandOnItsLinkAndRemovesTheLinkAtExit) {
  test::TempDir dir;
  const std::string link = dir.File("COM2");
  sim::SimProcess s(KT6100_SIM_PATH);
  ASSERT_EQ(s.Start({"--link", link, "--seed", "3"}), 0) << s.Error();
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), s.SlavePath());
  const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  const auto answer = [fd](char byte, std::size_t want) {
    EXPECT_EQ(write(fd, &byte, 1), 1);
    std::size_t got = 0;
    char buf[1024];
    pollfd p{fd, POLLIN, 0};
    while (got < want && poll(&p, 1, 10000) > 0) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  };
  EXPECT_EQ(answer('?', 1), 1u);
  EXPECT_EQ(answer('0', 512), 512u);
  EXPECT_EQ(answer('!', 512), 512u);
  EXPECT_EQ(answer('!', 40), 40u);
  close(fd);
  EXPECT_EQ(s.Stop(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

// The mains input built by hand, seen in the instrument's own capture, in
// input and comprehensive tests alike: a step at the angle given (within one
// of the 256 samples, however the line wanders), the power asked for, and
// the negative power of a reversed clamp.
TEST(Simulator, BuildsTheMainsInputAsAsked) {
  for (const bool reverse : {false, true}) {
    std::vector<const char*> argv{"kt6100-sim", "--mains-power", "150", "--mains-current=60,60,150"};
    if (reverse) argv.push_back("--reverse-current");
    sim::SimOptions o;
    std::string error;
    ASSERT_EQ(sim::ParseSimOptions(int(argv.size()), argv.data(), o, error), sim::ParseResult::Run) << error;
    sim::Instrument instrument(5, false, o.Mains);
    for (int run = 0; run < 6; ++run) {
      const sim::MainsCapture c = run % 2 ? instrument.MeasureInput() : instrument.MeasureComp().Mains;
      EXPECT_NEAR(c.Values.P, reverse ? -150 : 150, 1.5);
      double peak = 0, first = 360, atFirst = 0;  // the first sample of the half-wave above 5 % of the peak
      for (double i : c.Current) peak = std::max(peak, std::fabs(i));
      for (int n = 0; n < sim::MainsSamples; ++n) {
        const double phase = std::fmod(c.StartPhase + 360.0 * n / sim::MainsSamples, 360.0),
                     i = reverse ? -c.Current[n] : c.Current[n];
        if (phase < 180 && i > 0.05 * peak && phase < first) first = phase, atFirst = i;
      }
      EXPECT_TRUE(first > 60 && first <= 60 + 360.0 / sim::MainsSamples && atFirst > 0.9 * peak)
          << first << " " << atFirst;
    }
  }
}

}  // namespace
}  // namespace kt

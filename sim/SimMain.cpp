// kt6100-sim: a simulated KT6100 on a pseudo-terminal. See SimUsage().
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "sim/Instrument.h"
#include "sim/PtyServer.h"
#include "sim/Responder.h"
#include "sim/SimOptions.h"

int main(int argc, char** argv) {
  using namespace kt::sim;
  SimOptions options;
  std::string error;
  switch (ParseSimOptions(argc, argv, options, error)) {
    case ParseResult::Help:
      std::fputs(SimUsage(), stdout);
      return 0;
    case ParseResult::Version:
      std::printf("kt6100-sim %s\n", KT6100_VERSION);
      return 0;
    case ParseResult::Error:
      std::fprintf(stderr, "kt6100-sim: %s\n", error.c_str());
      return 2;
    case ParseResult::Run:
      break;
  }
  if (options.ExitWithParent) prctl(PR_SET_PDEATHSIG, SIGTERM);

  const std::uint64_t seed =
      options.SeedGiven ? options.Seed
                        : static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
                              (static_cast<std::uint64_t>(getpid()) << 32);
  Instrument instrument(seed, options.OrderFlag, options.Mains);
  Responder responder(instrument);
  PtyServer server(options, responder, seed);
  if (server.Open(error) != 0) {
    std::fprintf(stderr, "kt6100-sim: %s\n", error.c_str());
    return 1;
  }
  if (options.Log) std::fprintf(stderr, "kt6100-sim seed %llu\n", static_cast<unsigned long long>(seed));
  std::printf("ready %s\n", server.SlavePath().c_str());
  std::fflush(stdout);
  return server.Run();
}

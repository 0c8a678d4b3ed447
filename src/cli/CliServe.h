#pragma once
// `kt6100-cli serve`: the station as a SCPI instrument on TCP for a line
// controller. The runs are the command line's (the window's steps, decoders,
// verdicts, log and files), driven by an event loop and the window's poller
// instead of a loop that waits for one run.
#include "remote/RemoteServer.h"

#include <string>
#include <vector>

namespace kt {

class HeadlessTester;
class RunRecorder;

struct ServeOptions {
  QHostAddress Address = QHostAddress::LocalHost;
  quint16 Port = 5025;
  std::vector<QHostAddress> Allowed;  // peers besides the loopback
  std::string Folder;                 // where MMEMory:STORe and HCOPy:FILE write
};

// Serves until SIGINT or SIGTERM, with `tester`'s port open and `recorder`'s
// limits and log set up. The run under way then is abandoned (an event); the
// exit status is 0, or 2 when the server cannot listen.
int Serve(HeadlessTester& tester, RunRecorder& recorder, const ServeOptions& options);

}  // namespace kt

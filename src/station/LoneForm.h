#pragma once
// A form of its own, away from any window and any port, to decode a stored
// or logged run into: its log's rejudge, its import, a remote controller's
// report. Nothing shown anywhere changes.
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "link/Form.h"
#include "platform/Clock.h"
#include "platform/Host.h"
#include "platform/SerialPort.h"
#include "station/RunRecorder.h"

namespace kt {

class NoPort final : public SerialPort {
 public:
  int Open(const std::string&) override { return 1; }
  void Close() override {}
  bool IsOpen() const override { return false; }
  int WriteByte(std::uint8_t) override { return 1; }
  unsigned Read(std::uint8_t*, unsigned) override { return 0; }
  unsigned QueuedCount() override { return 0; }
  void PurgeReceive() override {}
  bool WaitForInput(int) override { return false; }
  void Wake() override {}
};

struct LoneForm {
  QuietHost host;
  NoPort port;
  SystemClock clock;
  Form form{host, port, clock};
  AnalysisData analysis;
  LoneForm() {
    PrepareForm(form);
    form.Analysis = &analysis;
  }
  // The loaders' messages become the reason.
  int Decode(const std::string& path, const std::vector<std::uint8_t>& bytes, LoggedRun& run, std::string& error) {
    const int failed = DecodeStoredRunInto(form, path, bytes, run, error);
    if (failed && error.empty()) error = host.lastMessage.empty() ? "数据文件格式错误!" : host.lastMessage;
    return failed;
  }
};

}  // namespace kt

#include "remote/RemoteSession.h"

#include <gtest/gtest.h>

#include "FakeStation.h"

namespace kt {
namespace {

TEST(RemoteSession, RunsLinesAnswersQueriesAndKeepsItsErrors) {
  FakeStation station;
  RemoteSession s(station, "127.0.0.1:40000", true);
  EXPECT_EQ(s.Line("*IDN?"), "Maker,KT6100,0,1.1.0");
  EXPECT_EQ(s.Line(R"(CONF:INFO:NO "SN1042";TYPE "EB-236";:CONF:INFO:NO?)"), "\"SN1042\"");
  EXPECT_EQ(station.info["TYPE"], "EB-236");
  EXPECT_EQ(s.Line("CONF:LIM \"T8\""), std::nullopt);
  EXPECT_EQ(s.Line("conf:lim?"), "\"T8\"");
  EXPECT_EQ(s.Line("INIT:INP"), std::nullopt);
  EXPECT_EQ(station.started, std::vector<TestKind>{InputTest});
  s.Line("INIT:OUTP");  // one at a time
  EXPECT_EQ(s.Line("SYST:ERR?"), "-221,\"Settings conflict; a run is under way\"");
  // *OPC? answers when the run has ended, with the rest of its line.
  EXPECT_EQ(s.Line("*OPC?;FETC:VERD?;FETC:SCAL? \"Urms\""), std::nullopt);
  EXPECT_TRUE(s.WaitingForRun());
  station.busy = false;
  EXPECT_EQ(s.RunEnded(), "1;PASS;229.5");
  EXPECT_EQ(s.Line("FETC:SCAL? \"PF\";FETC:ARR? \"H\";FETC:RUN?"), "9.91E37;100,30.5;{\"kind\":\"input\"}");
  EXPECT_EQ(s.Line("FETC:ARR? \"nothing\""), "");  // a query always answers, even with nothing
  EXPECT_EQ(s.Line("SYST:ERR?"), "-200,\"Execution error; no array nothing\"");
  EXPECT_EQ(s.Line("FOO:BAR;SYST:ERR?;SYST:ERR?"), "-113,\"Undefined header; FOO:BAR\";0,\"No error\"");
  EXPECT_EQ(s.Line("*ESR?;*ESR?"), "48;0");  // execution and command errors, then cleared
  EXPECT_EQ(s.Line("CONF:LIM \"missing\";:SYST:ERR?"), "-200,\"Execution error; no such profile\"");
  EXPECT_EQ(station.notes,
            (std::vector<std::string>{"127.0.0.1:40000 CONF:INFO:NO SN1042", "127.0.0.1:40000 CONF:INFO:TYPE EB-236",
                                      "127.0.0.1:40000 CONF:LIM T8", "127.0.0.1:40000 INIT:INP"}));

  // A second connection asks but does not act.
  RemoteSession other(station, "127.0.0.1:40001", false);
  EXPECT_EQ(other.Line("INIT:INP;*RST;SYST:ERR?"), "-200,\"Execution error; another connection controls the station\"");
  EXPECT_EQ(other.Line("SYST:ERR?;FETC:VERD?"),
            "-200,\"Execution error; another connection controls the station\";PASS");
  EXPECT_EQ(station.started.size(), 1u);

  // The queue keeps the first errors and says that it overflowed.
  for (int i = 0; i < 30; ++i) s.Line("NOPE");
  std::string last;
  for (std::size_t i = 0; i < RemoteSession::MaxErrors; ++i) last = s.Line("SYST:ERR?").value_or("");
  EXPECT_EQ(last, "-350,\"Queue overflow\"");
  EXPECT_EQ(s.Line("SYST:ERR?"), "0,\"No error\"");
  EXPECT_EQ(s.Line("*CLS;*ESR?"), "0");
}

}  // namespace
}  // namespace kt

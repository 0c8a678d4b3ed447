// The server over real TCP on the loopback: answers, control, and input
// meant to stall or crash it.
#include "remote/RemoteServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QTcpSocket>

#include "FakeStation.h"

namespace kt {
namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

struct Rig {
  FakeStation station;
  std::vector<std::string> notes;
  RemoteServer server{station, [this](const std::string& peer, const std::string& what) { notes.push_back(what); }};
  Rig() {
    QString error;
    if (server.Listen(QHostAddress::LocalHost, 0, {}, error) != 0) throw std::runtime_error(error.toStdString());
  }
  std::unique_ptr<QTcpSocket> Connect() {
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(QHostAddress::LocalHost, server.Port());
    if (!s->waitForConnected(10000)) throw std::runtime_error("no connection");
    return s;
  }
  // Sends the bytes and reads `lines` answer lines.
  std::vector<std::string> Ask(QTcpSocket& s, const QByteArray& bytes, std::size_t lines) {
    s.write(bytes);
    std::vector<std::string> out;
    QByteArray got;
    WaitFor([&] {
      got += s.readAll();
      return static_cast<std::size_t>(got.count('\n')) >= lines;
    });
    for (const QByteArray& l : got.split('\n'))
      if (out.size() < lines) out.push_back(l.toStdString());
    return out;
  }
};

TEST(RemoteServer, AnswersControlsOneClientAndSurvivesWhatIsMeantToStallIt) {
  Rig rig;
  auto first = rig.Connect();
  ASSERT_TRUE(WaitFor([&] { return rig.server.Remote(); }));
  EXPECT_EQ(rig.Ask(*first, "*IDN?\r\n", 1), std::vector<std::string>{"Maker,KT6100,0,1.1.0"});
  auto second = rig.Connect();
  EXPECT_EQ(rig.Ask(*second, "INIT:INP;:SYST:ERR?\n", 1)[0],
            "-200,\"Execution error; another connection controls the station\"");

  // A line over 4 KiB, bytes that are not text: their errors, and the next line still answers.
  EXPECT_EQ(rig.Ask(*first, QByteArray(5000, 'A') + "\n\xff\xfe\nSYST:ERR?;:SYST:ERR?\n", 1)[0],
            "-363,\"Input buffer overrun\";-101,\"Invalid character\"");
  // A flood of queries in one write, their answers (270 KB) far beyond
  // what the server holds for a client: every one answered, in order.
  QByteArray flood;
  for (int i = 0; i < 10000; ++i) flood += "*IDN?;*OPC?\n";
  const auto answers = rig.Ask(*first, flood, 10000);
  EXPECT_EQ(answers.size(), 10000u);
  EXPECT_EQ(answers.back(), "Maker,KT6100,0,1.1.0;1");

  // *OPC? waits for the run, and the lines after it wait too.
  EXPECT_EQ(rig.Ask(*first, "INIT:INP;:SYST:ERR?\n", 1)[0], "0,\"No error\"");
  first->write("*OPC?\nFETC:VERD?\n");
  QCoreApplication::processEvents();
  EXPECT_FALSE(WaitFor([&] { return first->bytesAvailable() > 0; }, 300)) << "answered before the run ended";
  rig.station.busy = false;
  rig.server.RunEnded();
  EXPECT_EQ(rig.Ask(*first, "", 2), (std::vector<std::string>{"1", "PASS"}));

  // A thousand connections opened and dropped leave the server as it was.
  for (int i = 0; i < 1000; ++i) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, rig.server.Port());
    if (s.waitForConnected(10000)) s.abort();
    QCoreApplication::processEvents();  // the server accepts as a running program would
  }
  ASSERT_TRUE(WaitFor([&] { return rig.server.Connections() <= 2; }));
  EXPECT_EQ(rig.Ask(*second, "*IDN?\n", 1)[0], "Maker,KT6100,0,1.1.0");

  // The controller goes: the next connection controls.
  first->abort();
  ASSERT_TRUE(WaitFor([&] { return !rig.server.Remote(); }));
  auto third = rig.Connect();
  EXPECT_EQ(rig.Ask(*third, "INIT:INP;:SYST:ERR?\n", 1)[0], "0,\"No error\"");
  rig.server.ReturnToLocal();
  EXPECT_EQ(rig.Ask(*third, "ABOR;:SYST:ERR?\n", 1)[0],
            "-200,\"Execution error; another connection controls the station\"");
}

// A peer that is not the loopback comes in only when the allow-list names
// it; one refused is closed at once and told. The machine's own network
// address stands for a peer elsewhere.
TEST(RemoteServer, OnlyTheLoopbackAndTheAllowListComeIn) {
  QHostAddress own;
  for (const QHostAddress& a : QNetworkInterface::allAddresses())
    if (!a.isLoopback() && a.protocol() == QAbstractSocket::IPv4Protocol) own = a;
  if (own.isNull()) GTEST_SKIP() << "no network address besides the loopback";
  for (const bool listed : {false, true}) {
    FakeStation station;
    std::vector<std::string> notes;
    RemoteServer server(station, [&](const std::string& peer, const std::string& what) { notes.push_back(what); });
    QString error;
    std::vector<QHostAddress> allowed;
    if (listed) allowed.push_back(own);
    ASSERT_EQ(server.Listen(QHostAddress::AnyIPv4, 0, allowed, error), 0) << error.toStdString();
    QTcpSocket s;
    s.connectToHost(own, server.Port());
    ASSERT_TRUE(s.waitForConnected(10000));
    if (listed) {
      s.write("*IDN?\n");
      EXPECT_TRUE(WaitFor([&] { return s.canReadLine(); })) << "an address on the list is served";
      EXPECT_TRUE(notes.empty());
    } else {
      EXPECT_TRUE(WaitFor([&] { return s.state() == QAbstractSocket::UnconnectedState; })) << "closed at once";
      EXPECT_EQ(notes, std::vector<std::string>{"refused: not on the allow-list"});
      EXPECT_FALSE(server.Remote());
      // A burst is one more note, counting it, not one note each.
      for (int i = 0; i < 4; ++i) {
        QTcpSocket again;
        again.connectToHost(own, server.Port());
        ASSERT_TRUE(again.waitForConnected(10000));
        EXPECT_TRUE(WaitFor([&] { return again.state() == QAbstractSocket::UnconnectedState; }));
      }
      // On a slow machine the burst may span more than a second: counted
      // over all its notes, every refusal is there once.
      const auto counted = [&] {
        int n = 0;
        for (const std::string& note : notes) {
          const auto more = note.find(" (");
          n += more == std::string::npos ? 1 : std::stoi(note.substr(more + 2));
        }
        return n;
      };
      EXPECT_TRUE(WaitFor([&] { return counted() == 5; }));
      EXPECT_LT(notes.size(), 5u);
      EXPECT_EQ(notes[1].rfind("refused: not on the allow-list (", 0), 0u) << notes[1];
    }
  }
}

}  // namespace
}  // namespace kt

#pragma once
// The station as an instrument on the network: SCPI lines over raw TCP
// (port 5025 by custom), one session per connection. The first connection
// controls the station; later ones may only ask until it goes. Peers not on
// the allow-list are closed at once. Bad input never stalls it: a line over
// the limit, a flood of queries, connections opened and dropped.
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "remote/RemoteSession.h"

class QTcpServer;
class QTcpSocket;

namespace kt {

// "127.0.0.1:5025", "[::1]:5025", "0.0.0.0:0" (any free port). 0, or 1.
int ParseListen(const std::string& text, QHostAddress& address, quint16& port);

class RemoteServer : public QObject {
  Q_OBJECT
 public:
  // `note`: what the log's events keep (a refused peer, a remote change).
  using Note = std::function<void(const std::string& peer, const std::string& what)>;
  RemoteServer(RemoteStation& station, Note note, QObject* parent = nullptr);
  ~RemoteServer() override;

  // Listens on `address:port`; peers other than the loopback must be in
  // `allowed` (exact addresses). 0, or 1 with the reason.
  int Listen(const QHostAddress& address, quint16 port, std::vector<QHostAddress> allowed, QString& error);
  quint16 Port() const;
  // The station's run ended: sessions waiting on it (*OPC?, *WAI) go on.
  void RunEnded();
  // The window's "Local": no connection controls the station until the
  // next one connects.
  void ReturnToLocal();
  bool Remote() const;                 // a connection controls the station
  std::string ControllerPeer() const;  // its address:port, "" when none
  std::size_t Connections() const { return clients_.size(); }

  static constexpr int MaxClients = 16;
  static constexpr qint64 MaxPendingBytes = 64 * 1024;
  static constexpr int LinesPerTurn = 64;  // a client's lines run between two turns of the event loop

 signals:
  void ControlChanged(bool remote);

 private:
  struct Client {
    std::unique_ptr<RemoteSession> Session;
    QByteArray Pending;
    bool Overrun = false;  // the line so far is over the limit: dropped up to its end
  };
  void Accept();
  void Read(QTcpSocket* socket);
  void Answer(QTcpSocket* socket, const std::optional<std::string>& answer);
  void Drop(QTcpSocket* socket);
  void Refuse(const std::string& peer, const std::string& why);

  RemoteStation& station_;
  Note note_;
  std::unique_ptr<QTcpServer> server_;
  std::vector<QHostAddress> allowed_;
  std::map<QTcpSocket*, Client> clients_;
  QTcpSocket* controller_ = nullptr;
  // Refusals by reason: when the last was noted, and those since, not yet.
  struct Burst {
    qint64 NotedMs = -1000000;
    int Held = 0;
    std::string LastPeer;
  };
  std::map<std::string, Burst> bursts_;
};

}  // namespace kt

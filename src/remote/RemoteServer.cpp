#include "remote/RemoteServer.h"

#include <algorithm>

#include <QDateTime>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace kt {

namespace {

std::string PeerOf(const QTcpSocket* s) {
  return (s->peerAddress().toString() + ":" + QString::number(s->peerPort())).toStdString();
}

}  // namespace

int ParseListen(const std::string& text, QHostAddress& address, quint16& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size()) return 1;
  std::string host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  bool ok = false;
  const uint number = QString::fromStdString(text.substr(colon + 1)).toUInt(&ok);
  if (!ok || number > 65535 || !address.setAddress(QString::fromStdString(host))) return 1;
  port = static_cast<quint16>(number);
  return 0;
}

RemoteServer::RemoteServer(RemoteStation& station, Note note, QObject* parent)
    : QObject(parent), station_(station), note_(std::move(note)) {}

RemoteServer::~RemoteServer() {
  for (auto& [socket, client] : clients_) {
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
  }
}

int RemoteServer::Listen(const QHostAddress& address, quint16 port, std::vector<QHostAddress> allowed, QString& error) {
  server_ = std::make_unique<QTcpServer>();
  allowed_ = std::move(allowed);
  server_->setMaxPendingConnections(MaxClients);
  if (!server_->listen(address, port)) {
    error = QString("cannot listen on %1:%2: %3").arg(address.toString()).arg(port).arg(server_->errorString());
    server_.reset();
    return 1;
  }
  connect(server_.get(), &QTcpServer::newConnection, this, &RemoteServer::Accept);
  return 0;
}

quint16 RemoteServer::Port() const { return server_ ? server_->serverPort() : 0; }

bool RemoteServer::Remote() const { return controller_ != nullptr; }

void RemoteServer::Accept() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    const QHostAddress peer = socket->peerAddress();
    bool allowed = peer.isLoopback();
    for (const QHostAddress& a : allowed_) allowed = allowed || a.isEqual(peer, QHostAddress::TolerantConversion);
    if (!allowed || clients_.size() >= static_cast<std::size_t>(MaxClients)) {
      Refuse(PeerOf(socket), allowed ? "too many connections" : "not on the allow-list");
      socket->abort();
      socket->deleteLater();
      continue;
    }
    const bool controls = controller_ == nullptr;
    clients_[socket] = Client{std::make_unique<RemoteSession>(station_, PeerOf(socket), controls), {}, false};
    if (controls) {
      controller_ = socket;
      emit ControlChanged(true);
    }
    // Qt reads no more than this ahead of the lines taken.
    socket->setReadBufferSize(MaxPendingBytes);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
    // Answers drained: the lines held back for them go on.
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
      if (socket->bytesToWrite() <= MaxPendingBytes) Read(socket);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
  }
}

void RemoteServer::Refuse(const std::string& peer, const std::string& why) {
  if (!note_) return;
  // Every refusal is kept, but a burst of them (a port scan, a client that
  // reconnects in a loop) must not bury the log: one note a second for each
  // reason, the rest counted into the next.
  Burst& b = bursts_[why];
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (b.Held == 0 && now - b.NotedMs >= 1000) {
    b.NotedMs = now;
    note_(peer, "refused: " + why);
    return;
  }
  b.LastPeer = peer;
  if (b.Held++ > 0) return;
  QTimer::singleShot(std::max<qint64>(0, b.NotedMs + 1000 - now), this, [this, why] {
    Burst& held = bursts_[why];
    held.NotedMs = QDateTime::currentMSecsSinceEpoch();
    note_(held.LastPeer, "refused: " + why + " (" + std::to_string(held.Held) + " more since the note before)");
    held.Held = 0;
  });
}

void RemoteServer::Read(QTcpSocket* socket) {
  const auto it = clients_.find(socket);
  if (it == clients_.end()) return;
  Client& c = it->second;
  // Lines wait while the session waits for a run. A client that does not
  // read its answers is not read either until it does: its lines stay in
  // the kernel (TCP's own flow control), and nothing piles up here.
  for (int lines = 0; !c.Session->WaitingForRun() && socket->bytesToWrite() <= MaxPendingBytes;) {
    // The window paints between batches of a flood.
    if (lines == LinesPerTurn) {
      QTimer::singleShot(0, this, [this, again = QPointer<QTcpSocket>(socket)] {
        if (again) Read(again);
      });
      return;
    }
    const qsizetype end = c.Pending.indexOf('\n');
    if (end < 0) {
      if (c.Pending.size() > static_cast<qsizetype>(scpi::MaxLineBytes)) {
        c.Overrun = true;  // the rest of this line goes too
        c.Pending.clear();
      }
      if (socket->bytesAvailable() == 0) break;
      c.Pending += socket->read(MaxPendingBytes);
      continue;
    }
    const QByteArray line = c.Pending.left(end);
    c.Pending.remove(0, end + 1);
    ++lines;
    if (c.Overrun) {
      c.Overrun = false;
      Answer(socket, c.Session->Line(std::string(scpi::MaxLineBytes + 1, ' ')));  // its error, queued
      continue;
    }
    Answer(socket, c.Session->Line(std::string_view(line.constData(), static_cast<std::size_t>(line.size()))));
  }
}

void RemoteServer::Answer(QTcpSocket* socket, const std::optional<std::string>& answer) {
  if (!answer) return;
  socket->write(QByteArray::fromStdString(*answer + "\n"));
}

void RemoteServer::RunEnded() {
  // Reading a client's held lines may drop it (a flood past the limit):
  // the list is taken first.
  std::vector<QTcpSocket*> waiting;
  for (auto& [socket, client] : clients_)
    if (client.Session->WaitingForRun()) waiting.push_back(socket);
  for (QTcpSocket* socket : waiting) {
    const auto it = clients_.find(socket);
    if (it == clients_.end() || !it->second.Session->WaitingForRun()) continue;
    Answer(socket, it->second.Session->RunEnded());
    Read(socket);  // the lines held meanwhile
  }
}

std::string RemoteServer::ControllerPeer() const { return controller_ ? PeerOf(controller_) : std::string(); }

void RemoteServer::ReturnToLocal() {
  if (!controller_) return;
  clients_[controller_].Session->SetControlling(false);
  controller_ = nullptr;
  emit ControlChanged(false);
}

void RemoteServer::Drop(QTcpSocket* socket) {
  clients_.erase(socket);
  socket->deleteLater();
  if (socket != controller_) return;
  controller_ = nullptr;
  emit ControlChanged(false);
}

}  // namespace kt

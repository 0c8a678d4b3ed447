#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/BlockWriter.h"
#include "sim/Instrument.h"

namespace kt::sim {

// What the instrument sends in answer to one received byte.
struct Reply {
  Block Bytes;
  char Command = 0;           // '?' for the handshake, else the command of the sequence
  int BlockNumber = 0;        // 1-based within the sequence; 0 for the handshake
  int BlockCount = 0;         // blocks in the whole sequence; 0 for the handshake
  bool StartsAfresh = false;  // this byte began something new: whatever was under way is dropped
  bool EndsSequence = false;  // the last block of the sequence
};

// The instrument's side of the protocol, without timing or I/O: "?" is
// answered with one byte, a command starts its sequence with block 1, "!"
// asks for the next block. For "4" the byte after the one-byte reply is the
// envelope position, whatever its value. A "?" or a command in the middle of
// a sequence abandons it; bytes that mean nothing are ignored.
class Responder {
 public:
  static constexpr std::uint8_t HandshakeAnswer = 'A';
  static constexpr std::uint8_t WaveCommandReply = 0x06;

  explicit Responder(Instrument& instrument) : instrument_(instrument) {}

  std::optional<Reply> OnByte(std::uint8_t byte);
  bool InSequence() const { return command_ != 0; }

 private:
  Reply Next(bool afresh);

  Instrument& instrument_;
  char command_ = 0;  // 0 when no sequence is under way
  std::vector<Block> blocks_;
  std::size_t next_ = 0;
  int count_ = 0;
  bool awaitingPosition_ = false;
};

}  // namespace kt::sim

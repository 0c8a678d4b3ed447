#include "sim/Responder.h"

namespace kt::sim {

namespace {
constexpr int kWaveBlocks = 6;  // reply byte, header, four waves
}

std::optional<Reply> Responder::OnByte(std::uint8_t byte) {
  if (awaitingPosition_) {
    // The program sends the clicked point here instead of "!"; any value is a
    // position, even one that looks like a command.
    awaitingPosition_ = false;
    const std::vector<Block> rest = Instrument::Blocks(instrument_.MeasureWave(byte));
    blocks_.insert(blocks_.end(), rest.begin(), rest.end());
    return Next(false);
  }
  switch (byte) {
    case '?': {
      command_ = 0;
      blocks_.clear();
      Reply r;
      r.Bytes = {HandshakeAnswer};
      r.Command = '?';
      r.StartsAfresh = true;
      return r;
    }
    case '0':
      blocks_ = Instrument::Blocks(instrument_.MeasureInput());
      break;
    case '1':
      blocks_ = Instrument::Blocks(instrument_.MeasureOutput());
      break;
    case '2':
      blocks_ = Instrument::Blocks(instrument_.MeasureComp());
      break;
    case '3':
      blocks_ = Instrument::Blocks(instrument_.MeasureStart());
      break;
    case '4':
      blocks_ = {Block{WaveCommandReply}};
      break;
    case '!':
      if (command_ == 0 || next_ >= blocks_.size()) return std::nullopt;
      return Next(false);
    default:
      return std::nullopt;
  }
  command_ = static_cast<char>(byte);
  next_ = 0;
  count_ = byte == '4' ? kWaveBlocks : static_cast<int>(blocks_.size());
  return Next(true);
}

Reply Responder::Next(bool afresh) {
  Reply r;
  r.Bytes = blocks_[next_];
  r.Command = command_;
  r.BlockNumber = static_cast<int>(++next_);
  r.BlockCount = count_;
  r.StartsAfresh = afresh;
  if (command_ == '4' && next_ == 1) {
    awaitingPosition_ = true;  // the rest is built once the position is known
  } else if (r.BlockNumber == count_) {
    r.EndsSequence = true;
    command_ = 0;
    blocks_.clear();
    next_ = 0;
  }
  return r;
}

}  // namespace kt::sim

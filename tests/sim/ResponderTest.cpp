#include "sim/Responder.h"

#include <gtest/gtest.h>

#include <string>

namespace kt::sim {
namespace {

// Feeds a byte and returns the size of the answer, -1 for none.
int Feed(Responder& r, std::uint8_t byte) {
  const auto reply = r.OnByte(byte);
  return reply ? static_cast<int>(reply->Bytes.size()) : -1;
}

// The block sizes of a whole sequence: the command, then "!" (or the
// position byte for "4") until nothing more comes.
std::vector<int> Sequence(Responder& r, char command, std::uint8_t position = 75) {
  std::vector<int> sizes{Feed(r, static_cast<std::uint8_t>(command))};
  if (command == '4') sizes.push_back(Feed(r, position));
  for (int size; (size = Feed(r, '!')) >= 0;) sizes.push_back(size);
  return sizes;
}

TEST(Responder, HandshakeIsAnsweredWithAnythingButAQuestionMark) {
  Instrument ins(1);
  Responder r(ins);
  const auto reply = r.OnByte('?');
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->Bytes.size(), 1u);
  EXPECT_NE(reply->Bytes[0], '?');
  EXPECT_EQ(reply->BlockNumber, 0);
}

TEST(Responder, EveryCommandRunsItsWholeSequence) {
  Instrument ins(1);
  Responder r(ins);
  using V = std::vector<int>;
  EXPECT_EQ(Sequence(r, '0'), (V{512, 512, 40}));
  EXPECT_EQ(Sequence(r, '1'), (V{64, 300, 300, 300, 300}));
  EXPECT_EQ(Sequence(r, '2'), (V{512, 512, 104, 300, 300, 300, 300}));
  EXPECT_EQ(Sequence(r, '3'), (V{600, 600, 600, 600, 37}));
  EXPECT_EQ(Sequence(r, '4'), (V{1, 16, 1200, 1200, 1200, 1200}));
  EXPECT_FALSE(r.InSequence());
}

TEST(Responder, RepliesCarryTheInstrumentsBlocksAndTheirPlace) {
  Instrument reference(77);
  const auto expected = Instrument::Blocks(reference.MeasureComp());
  Instrument ins(77);
  Responder r(ins);
  auto reply = r.OnByte('2');
  for (std::size_t k = 0; k < expected.size(); ++k) {
    ASSERT_TRUE(reply) << k;
    EXPECT_EQ(reply->Bytes, expected[k]);
    EXPECT_EQ(reply->Command, '2');
    EXPECT_EQ(reply->BlockNumber, static_cast<int>(k + 1));
    EXPECT_EQ(reply->BlockCount, 7);
    EXPECT_EQ(reply->StartsAfresh, k == 0);
    EXPECT_EQ(reply->EndsSequence, k + 1 == expected.size());
    reply = r.OnByte('!');
  }
  EXPECT_FALSE(reply);
}

TEST(Responder, MidSequenceRestartsAndMeaninglessBytes) {
  Instrument ins(2);
  Responder r(ins);
  for (std::uint8_t b : {std::uint8_t{'!'}, std::uint8_t{'5'}, std::uint8_t{'x'}, std::uint8_t{0xFF}})
    EXPECT_EQ(Feed(r, b), -1) << int(b);
  ASSERT_EQ(Feed(r, '1'), 64);
  EXPECT_EQ(Feed(r, 'x'), -1);  // noise on the line does not advance the sequence
  ASSERT_EQ(Feed(r, '!'), 300);
  const auto restart = r.OnByte('0');
  ASSERT_TRUE(restart);
  EXPECT_EQ(restart->Command, '0');
  EXPECT_EQ(restart->BlockNumber, 1);
  EXPECT_TRUE(restart->StartsAfresh);
  EXPECT_EQ(Feed(r, '!'), 512);
  // A handshake abandons too: "!" then has nothing to continue.
  EXPECT_EQ(Feed(r, '?'), 1);
  EXPECT_EQ(Feed(r, '!'), -1);
  EXPECT_FALSE(r.InSequence());
}

}  // namespace
}  // namespace kt::sim

#include "packet/packet_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using quillory::PacketWriter;
using quillory_test::Bytes;
using quillory_test::Written;

TEST(PacketWriter, EncodesIntegersLittleEndianAndStringsLengthFirst) {
  EXPECT_EQ(Written([](PacketWriter &) {}), "");
  EXPECT_EQ(Written([](PacketWriter &w) {
              w.PutUInt32(258);
              EXPECT_EQ(w.PutString(""), 1);
              EXPECT_EQ(w.PutString(std::string("a\0b", 3)), 1);
              w.PutUInt32(0xFFFFFFFFu);
            }),
            Bytes({0x02, 0x01, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 0, 'b', 0xFF,
                   0xFF, 0xFF, 0xFF}));

  // A record of any size lands whole, and nothing but the records.
  const std::string big(60017, 'q');
  const std::string packet = Written([&](PacketWriter &w) {
    w.PutString(big);
    w.PutUInt32(1);
  });
  ASSERT_EQ(packet.size(), big.size() + 8);
  EXPECT_EQ(packet.substr(0, 4), Bytes({0x71, 0xEA, 0, 0}));
  EXPECT_EQ(packet.substr(4, big.size()), big);
  EXPECT_EQ(packet.substr(4 + big.size()), Bytes({1, 0, 0, 0}));
}

// Refused records leave nothing behind them, and nothing after them is
// taken either: a packet with a record left out would be read out of step.
TEST(PacketWriter, RefusesWhatDoesNotFitAndEverythingAfterIt) {
  std::string storage(10, '#');
  PacketWriter writer(storage.data(), 6);
  EXPECT_EQ(writer.PutString("ab"), 1);
  writer.PutUInt32(7);
  EXPECT_FALSE(writer.Fits());
  EXPECT_EQ(writer.PutString(""), 0);
  EXPECT_EQ(writer.Size(), 6u);
  EXPECT_EQ(storage, Bytes({2, 0, 0, 0, 'a', 'b', '#', '#', '#', '#'}));

  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  PacketWriter counter;
  counter.PutString("ab");
  EXPECT_EQ(counter.PutString(
                quillory::TextView(huge.data(), quillory_test::kFourGiB)),
            0);
  EXPECT_FALSE(counter.Fits());
  EXPECT_EQ(counter.Size(), 6u);
}

}  // namespace

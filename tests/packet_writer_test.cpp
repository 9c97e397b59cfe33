#include "packet_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "test_support.h"

namespace {

using quillory::PACKET_GROW_STEP;
using quillory::PacketWriter;
using quillory_test::Bytes;
using quillory_test::Str;

TEST(PacketWriter, EncodesIntegersLittleEndianAndStringsLengthFirst) {
  PacketWriter empty(quillory::SystemMemory());
  EXPECT_EQ(Str(empty.Finish()), "");

  PacketWriter writer(quillory::SystemMemory());
  EXPECT_EQ(writer.PutUInt32(258), 1);
  EXPECT_EQ(writer.PutString(""), 1);
  EXPECT_EQ(writer.PutString(std::string("a\0b", 3)), 1);
  EXPECT_EQ(writer.PutUInt32(0xFFFFFFFFu), 1);
  EXPECT_EQ(Str(writer.Finish()),
            Bytes({0x02, 0x01, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 0, 'b', 0xFF,
                   0xFF, 0xFF, 0xFF}));
}

TEST(PacketWriter, ReservesOneStepAheadAndFinishDropsTheReserve) {
  PacketWriter writer(quillory::SystemMemory());
  writer.PutUInt32(7);
  EXPECT_EQ(writer.Size(), PACKET_GROW_STEP);
  EXPECT_EQ(writer.Cursor(), 4u);

  // A packet of at most one step grows exactly once.
  const std::string record(PACKET_GROW_STEP - 8, 'x');
  writer.PutString(record);
  EXPECT_EQ(writer.Size(), PACKET_GROW_STEP);
  EXPECT_EQ(writer.Cursor(), PACKET_GROW_STEP);

  // Full to the byte: the next write grows by another step.
  writer.PutString("");
  EXPECT_EQ(writer.Size(), 2 * PACKET_GROW_STEP);
  EXPECT_EQ(Str(writer.Finish()).size(), PACKET_GROW_STEP + 4);
}

TEST(PacketWriter, StringLongerThanAStepGrowsOnceAndLeavesNoReserve) {
  const std::string big(PACKET_GROW_STEP * 3 + 17, 'q');
  PacketWriter writer(quillory::SystemMemory());
  writer.PutString(big);
  EXPECT_EQ(writer.Size(), big.size() + 4);
  EXPECT_EQ(writer.Cursor(), big.size() + 4);

  writer.PutUInt32(1);
  EXPECT_EQ(writer.Size(), big.size() + 4 + PACKET_GROW_STEP);

  const std::string packet = Str(writer.Finish());
  ASSERT_EQ(packet.size(), big.size() + 8);
  EXPECT_EQ(packet.substr(0, 4), Bytes({0x71, 0xEA, 0, 0}));
  EXPECT_EQ(packet.substr(4, big.size()), big);
  EXPECT_EQ(packet.substr(4 + big.size()), Bytes({1, 0, 0, 0}));
}

TEST(PacketWriter, RefusesStringsOfFourGiBAndMoreWithoutWriting) {
  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  PacketWriter writer(quillory::SystemMemory());
  writer.PutString("ab");
  EXPECT_EQ(writer.PutString(
                quillory::TextView(huge.data(), quillory_test::kFourGiB)),
            0);
  EXPECT_EQ(writer.Cursor(), 6u);
  EXPECT_EQ(writer.Size(), PACKET_GROW_STEP);
  EXPECT_EQ(Str(writer.Finish()), Bytes({2, 0, 0, 0, 'a', 'b'}));
}

TEST(PacketWriter, StorageThatRunsOutEndsInNoPacketAndNothingHeld) {
  quillory_test::FakeMemory memory;
  memory.blocks = 1;
  {
    PacketWriter writer(quillory_test::Storage(memory));
    writer.PutUInt32(1);
    EXPECT_FALSE(writer.Failed());
    // Past the first step: the storage must grow, and cannot.
    EXPECT_EQ(writer.PutString(std::string(PACKET_GROW_STEP * 2, 'x')), 1);
    EXPECT_TRUE(writer.Failed());
    EXPECT_EQ(writer.PutStringSpace(3), nullptr);
    EXPECT_EQ(writer.Finish().data(), nullptr);
  }
  EXPECT_EQ(memory.held, 0);
}

}  // namespace

#include "packet_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "packet_writer.h"
#include "test_support.h"

namespace {

using quillory::ReadMailPacket;
using quillory_test::Bytes;

std::string SamplePacket() {
  quillory::PacketWriter writer(quillory::SystemMemory());
  writer.PutString("Subject");
  writer.PutString("Line\r\n");
  writer.PutUInt32(2);
  writer.PutString("\"Ann\" <ann@example.org>");
  writer.PutString("");
  writer.PutUInt32(1);
  writer.PutString("C:\\report.pdf");
  return quillory_test::Str(writer.Finish());
}

TEST(PacketReader, ReadsEveryRecord) {
  const auto read = ReadMailPacket(SamplePacket());
  ASSERT_TRUE(read.mail) << read.error;
  EXPECT_EQ(read.mail->subject, "Subject");
  EXPECT_EQ(read.mail->note_text, "Line\r\n");
  EXPECT_EQ(read.mail->recipients,
            (std::vector<std::string>{"\"Ann\" <ann@example.org>", ""}));
  EXPECT_EQ(read.mail->attachments, std::vector<std::string>{"C:\\report.pdf"});
  EXPECT_TRUE(ReadMailPacket(std::string(16, '\0')).mail);
}

TEST(PacketReader, SaysWhatIsWrongAndWhere) {
  auto error = [](const std::string &packet) {
    const auto read = ReadMailPacket(packet);
    EXPECT_FALSE(read.mail);
    return read.error;
  };
  EXPECT_EQ(error(""),
            "subject length at offset 0: record cut short, 0 of 4 bytes "
            "(packet of 0 bytes)");
  EXPECT_EQ(error(Bytes({0, 0, 0, 0, 9, 0, 0, 0, 'x'})),
            "note text at offset 4: length 9 runs past the end, 1 bytes "
            "remain (packet of 9 bytes)");
  // Four billion entries in a 12-byte packet: refused before any of them
  // is made room for.
  EXPECT_EQ(error(Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x28, 0x6B, 0xEE})),
            "recipient count at offset 8: 4000000000 entries cannot fit in "
            "the 0 bytes that remain (packet of 12 bytes)");
  EXPECT_EQ(error(Bytes({0, 0, 0, 0, 0, 0,   0, 0, 1, 0, 0,
                         0, 9, 0, 0, 0, 'a', 0, 0, 0, 0})),
            "recipient 1 of 1 at offset 12: length 9 runs past the end, 5 "
            "bytes remain (packet of 21 bytes)");
  EXPECT_EQ(error(std::string(16, '\0') + "xy"),
            "end of packet at offset 16: 2 bytes left over (packet of 18 "
            "bytes)");
}

TEST(PacketReader, RejectsEveryCutAndEveryExtension) {
  const std::string packet = SamplePacket();
  for (std::size_t size = 0; size < packet.size(); ++size) {
    const auto read = ReadMailPacket(packet.substr(0, size));
    EXPECT_FALSE(read.mail) << "accepted the first " << size << " bytes";
    EXPECT_FALSE(read.error.empty());
  }
  EXPECT_FALSE(ReadMailPacket(packet + '\0').mail);
}

}  // namespace

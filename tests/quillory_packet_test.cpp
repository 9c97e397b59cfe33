#include "quillory_packet.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "received_mail.h"
#include "test_support.h"

namespace {

using quillory_test::Bytes;
using quillory_test::ReadMail;
using quillory_test::ReceivedMail;

std::string SamplePacket() {
  return quillory_test::Written([](quillory::PacketWriter &writer) {
    writer.PutString("Subject");
    writer.PutString(std::string("Line\r\n\0x", 8));
    writer.PutUInt32(2);
    writer.PutString("\"Ann\" <ann@example.org>");
    writer.PutString("");
    writer.PutUInt32(1);
    writer.PutString("C:\\report.pdf");
  });
}

std::string Le32(std::uint32_t value) {
  return Bytes(
      {static_cast<int>(value & 0xFF), static_cast<int>(value >> 8 & 0xFF),
       static_cast<int>(value >> 16 & 0xFF), static_cast<int>(value >> 24)});
}

TEST(ClientReader, ReadsWellFormedPacketsAndRefusesTheRest) {
  struct Case {
    const char *what;
    std::string packet;
    std::optional<ReceivedMail> mail;
  };
  const std::string empty(16, '\0');
  const std::string sample = SamplePacket();
  const std::vector<Case> cases = {
      {"empty message", empty, ReceivedMail{}},
      {"every record, NUL bytes kept", sample,
       ReceivedMail{"Subject",
                    std::string("Line\r\n\0x", 8),
                    {"\"Ann\" <ann@example.org>", ""},
                    {"C:\\report.pdf"}}},
      {"nothing", "", std::nullopt},
      {"a byte left over", empty + 'x', std::nullopt},
      {"a length past the end", Le32(9) + "x", std::nullopt},
      {"a length of 2^32 - 1", Le32(0xFFFFFFFFu) + std::string(12, '\0'),
       std::nullopt},
      {"4 billion recipients in 12 bytes",
       std::string(8, '\0') + Le32(4000000000u), std::nullopt},
      {"a recipient cut short",
       std::string(8, '\0') + Le32(1) + Le32(9) + "a" + Le32(0), std::nullopt},
      {"an attachment count missing", std::string(12, '\0'), std::nullopt},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ReadMail(c.packet).has_value(), c.mail.has_value()) << c.what;
    const auto read = ReadMail(c.packet);
    if (!read || !c.mail) continue;
    EXPECT_EQ(read->subject, c.mail->subject) << c.what;
    EXPECT_EQ(read->note_text, c.mail->note_text) << c.what;
    EXPECT_EQ(read->recipients, c.mail->recipients) << c.what;
    EXPECT_EQ(read->attachments, c.mail->attachments) << c.what;
  }
  // Every cut of a good packet, and every extension, is refused.
  for (std::size_t size = 0; size < sample.size(); ++size) {
    EXPECT_FALSE(ReadMail(sample.substr(0, size))) << size << " bytes";
  }
  EXPECT_FALSE(ReadMail(sample + '\0'));
}

TEST(ClientReader, RefusalLeavesTheMailAndViewsStayInThePacket) {
  quillory_mail mail;
  mail.recipients.count = 77;
  EXPECT_EQ(quillory_read_mail(nullptr, 16, &mail), 0);
  EXPECT_EQ(quillory_read_mail("\0\0\0", 3, &mail), 0);
  EXPECT_EQ(mail.recipients.count, 77u);
  EXPECT_EQ(quillory_read_mail(std::string(16, '\0').data(), 16, nullptr), 0);

  const std::string sample = SamplePacket();
  ASSERT_EQ(quillory_read_mail(sample.data(), sample.size(), &mail), 1);
  const char *end = sample.data() + sample.size();
  quillory_list again = mail.recipients;
  quillory_text entry;
  EXPECT_EQ(quillory_next(&mail.recipients, nullptr), 1);
  EXPECT_EQ(quillory_next(&mail.recipients, &entry), 1);
  EXPECT_EQ(entry.size, 0u);
  EXPECT_EQ(quillory_next(&mail.recipients, &entry), 0);
  EXPECT_EQ(mail.recipients.count, 0u);
  // A copy of a list walks on its own.
  EXPECT_EQ(quillory_next(&again, &entry), 1);
  EXPECT_EQ(std::string(entry.data, entry.size), "\"Ann\" <ann@example.org>");
  EXPECT_EQ(quillory_next(&mail.attachments, &entry), 1);
  EXPECT_EQ(entry.data + entry.size, end);
}

}  // namespace

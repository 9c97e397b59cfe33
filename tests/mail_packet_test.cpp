#include "packet/mail_packet.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "packet/text_rules.h"
#include "packet_strings.h"
#include "received_mail.h"
#include "test_support.h"

namespace {

using quillory::BuildMailPacketBytes;
using quillory_test::Bytes;
using quillory_test::FakeAllocator;
using quillory_test::Hex;
using quillory_test::Storage;
using quillory_test::Str;

char *Text(std::string &s) { return s.data(); }

std::string Build(const MapiMessage &message) {
  const auto packet = BuildMailPacketBytes(message);
  EXPECT_TRUE(packet.has_value());
  return packet.value_or("<no packet>");
}

TEST(MailPacket, EmptyMessageIsSixteenZeroBytes) {
  const MapiMessage message{};
  EXPECT_EQ(Build(message), std::string(16, '\0'));
}

TEST(MailPacket, LayoutOfTheWorkedExamples) {
  std::string subject = "AB";
  std::string address = "a@b.c";
  MapiRecipDesc only_address{};
  only_address.lpszAddress = Text(address);
  MapiMessage small{};
  small.lpszSubject = Text(subject);
  small.nRecipCount = 1;
  small.lpRecips = &only_address;
  EXPECT_EQ(Build(small).size(), 29u);

  std::string note = "x\ry";
  std::string name = "N";
  std::string a = "a";
  std::string path = "C:\\f";
  MapiRecipDesc recipient{};
  recipient.lpszName = Text(name);
  recipient.lpszAddress = Text(a);
  MapiFileDesc file{};
  file.lpszPathName = Text(path);
  MapiMessage worked{};
  worked.lpszSubject = Text(subject);
  worked.lpszNoteText = Text(note);
  worked.nRecipCount = 1;
  worked.lpRecips = &recipient;
  worked.nFileCount = 1;
  worked.lpFiles = &file;
  EXPECT_EQ(Hex(Build(worked)),
            "02 00 00 00 41 42 04 00 00 00 78 0D 0A 79 01 00 00 00 07 00 00 "
            "00 22 4E 22 20 3C 61 3E 01 00 00 00 04 00 00 00 43 3A 5C 66");
}

TEST(MailPacket, OnlyTheNoteTextIsNormalisedAndClassesAreNotMarked) {
  std::string subject = "s\r\nt";
  std::string note = "n\no";
  std::string names[3] = {"To\r", "Cc\n", "Bcc"};
  std::string path = "C:\\a\nb";
  MapiRecipDesc recipients[3] = {};
  const ULONG classes[3] = {MAPI_TO, MAPI_CC, MAPI_BCC};
  for (int i = 0; i < 3; ++i) {
    recipients[i].ulRecipClass = classes[i];
    recipients[i].lpszName = Text(names[i]);
  }
  MapiFileDesc file{};
  file.lpszPathName = Text(path);
  MapiMessage message{};
  message.lpszSubject = Text(subject);
  message.lpszNoteText = Text(note);
  message.nRecipCount = 3;
  message.lpRecips = recipients;
  message.nFileCount = 1;
  message.lpFiles = &file;

  const auto read = quillory_test::ReadMail(Build(message));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->subject, "s\r\nt");
  EXPECT_EQ(read->note_text, "n\r\no");
  EXPECT_EQ(read->recipients,
            (std::vector<std::string>{"\"To\r\" ", "\"Cc\n\" ", "\"Bcc\" "}));
  EXPECT_EQ(read->attachments, std::vector<std::string>{path});
}

TEST(MailPacket, CountsWithoutArraysAndAbsentPathsKeepTheEntriesInStep) {
  MapiMessage message{};
  message.nRecipCount = 3;
  message.nFileCount = 2;
  EXPECT_EQ(Build(message), std::string(16, '\0'));

  std::string path = "C:\\b";
  MapiFileDesc files[2] = {};
  files[1].lpszPathName = Text(path);
  MapiRecipDesc nobody{};
  message.nRecipCount = 1;
  message.lpRecips = &nobody;
  message.lpFiles = files;
  EXPECT_EQ(Build(message),
            Bytes({0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0,   0,   0,    0,
                   2, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 'C', ':', '\\', 'b'}));
}

// Counted, then written into one block of exactly the packet's size; a
// block that cannot be had leaves no packet and nothing held.
TEST(MailPacket, TakesOneBlockOfExactlyThePacketsSize) {
  std::string note(30000, 'n');
  std::string address = "a@b";
  MapiRecipDesc recipient{};
  recipient.lpszAddress = Text(address);
  MapiMessage message{};
  message.lpszNoteText = Text(note);
  message.nRecipCount = 1;
  message.lpRecips = &recipient;
  FakeAllocator memory;
  {
    const quillory::PacketBuild built =
        quillory::BuildMailPacket(message, Storage(memory));
    ASSERT_EQ(built.status, quillory::PacketStatus::kBuilt);
    EXPECT_EQ(Str(built.packet), Build(message));
    EXPECT_EQ(memory.sizes, std::vector<std::size_t>{built.packet.size()});
  }
  EXPECT_EQ(memory.held, 0);

  FakeAllocator none;
  none.blocks = 0;
  EXPECT_EQ(quillory::BuildMailPacket(message, Storage(none)).status,
            quillory::PacketStatus::kOutOfMemory);
  EXPECT_EQ(none.held, 0);
}

TEST(MailPacket, TextTooLongForTheFormatGivesNoPacket) {
  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  MapiMessage message{};
  message.lpszSubject = const_cast<char *>(huge.data());
  EXPECT_FALSE(BuildMailPacketBytes(message).has_value());

  // Late in the packet too: never a packet with the record left out.
  MapiFileDesc files[2] = {};
  files[1].lpszPathName = const_cast<char *>(huge.data());
  message.lpszSubject = nullptr;
  message.nFileCount = 2;
  message.lpFiles = files;
  EXPECT_FALSE(BuildMailPacketBytes(message).has_value());
}

// Build, read back, compare with what each rule makes of the input.
TEST(MailPacket, RoundTripsRandomMessages) {
  std::mt19937 random(943);
  const std::string alphabet = "ab \r\n\"<>\x80\xff";
  auto text = [&] {
    std::string out(random() % 12, ' ');
    for (char &c : out) c = alphabet[random() % alphabet.size()];
    return out;
  };
  auto maybe = [&](std::string &s) -> char * {
    return random() % 4 == 0 ? nullptr : s.data();
  };
  for (int round = 0; round < 500; ++round) {
    std::string subject = text();
    std::string note = text();
    const std::size_t recip_count = random() % 5;
    const std::size_t file_count = random() % 4;
    std::vector<std::string> strings;
    strings.reserve(recip_count * 2 + file_count);
    std::vector<MapiRecipDesc> recipients(recip_count);
    std::vector<MapiFileDesc> files(file_count);
    for (auto &r : recipients) {
      r.ulRecipClass = static_cast<ULONG>(random() % 4);
      strings.push_back(text());
      r.lpszName = maybe(strings.back());
      strings.push_back(text());
      r.lpszAddress = maybe(strings.back());
    }
    for (auto &f : files) {
      strings.push_back(text());
      f.lpszPathName = strings.back().data();
    }
    MapiMessage message{};
    message.lpszSubject = maybe(subject);
    message.lpszNoteText = maybe(note);
    message.nRecipCount = static_cast<ULONG>(recip_count);
    message.lpRecips = recipients.data();
    message.nFileCount = static_cast<ULONG>(file_count);
    message.lpFiles = files.data();

    const auto read = quillory_test::ReadMail(Build(message));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->subject, message.lpszSubject ? subject : "");
    EXPECT_EQ(read->note_text,
              quillory::NormalizeLineBreaks(message.lpszNoteText ? note : ""));
    ASSERT_EQ(read->recipients.size(), recip_count);
    for (std::size_t i = 0; i < recip_count; ++i) {
      EXPECT_EQ(read->recipients[i], quillory::FormatRecipient(recipients[i]));
    }
    ASSERT_EQ(read->attachments.size(), file_count);
    for (std::size_t i = 0; i < file_count; ++i) {
      EXPECT_EQ(read->attachments[i], files[i].lpszPathName);
    }
  }
}

}  // namespace

#include "entry/send_mail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "packet_strings.h"
#include "test_support.h"

namespace {

using quillory_test::FakeAllocator;
using quillory_test::FakeClient;
using quillory_test::FakePlatform;
using quillory_test::Storage;

quillory::SendMailResult Send(const MapiMessage *message, FakeClient &client) {
  FakeAllocator memory;
  const quillory::SendMailResult result =
      quillory::SendMail(message, FakePlatform(client), Storage(memory));
  EXPECT_EQ(memory.held, 0) << "storage left allocated";
  return result;
}

ULONG SendMail(const MapiMessage *message, FakeClient &client) {
  return Send(message, client).code;
}

TEST(SendMail, EmptyMessageReachesARunningClient) {
  FakeClient client;
  const MapiMessage message{};
  const quillory::SendMailResult result = Send(&message, client);
  EXPECT_EQ(result.code, static_cast<ULONG>(SUCCESS_SUCCESS));
  EXPECT_EQ(result.outcome, quillory::Outcome::kDelivered);
  EXPECT_EQ(result.packet_size, 16u);
  EXPECT_EQ(result.hand_off.process_id, 4242u);
  EXPECT_EQ(client.sent_packets,
            std::vector<std::string>{std::string(16, '\0')});
}

TEST(SendMail, FailsWhenNoClientWindowIsReached) {
  FakeClient never;
  never.window_from_look = 0;
  const MapiMessage message{};
  const quillory::SendMailResult result = Send(&message, never);
  EXPECT_EQ(result.code, static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_EQ(result.outcome, quillory::Outcome::kNoWindowAfterStart);
  EXPECT_EQ(std::wstring(result.hand_off.client_path),
            L"C:\\Apps\\Mail\\Quillory.exe");

  FakeClient refused;
  refused.send = {false, 0, 5, 0};
  EXPECT_EQ(SendMail(&message, refused), static_cast<ULONG>(MAPI_E_FAILURE));
}

TEST(SendMail, NullMessageFailsBeforeAnythingIsLookedUp) {
  FakeClient client;
  const quillory::SendMailResult result = Send(nullptr, client);
  EXPECT_EQ(result.code, static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_EQ(result.outcome, quillory::Outcome::kNoMessage);
  EXPECT_TRUE(client.log.empty());
}

TEST(SendMail, UnpackableMessageFailsBeforeAnythingIsLookedUp) {
  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  MapiMessage message{};
  message.lpszSubject = const_cast<char *>(huge.data());
  FakeClient client;
  const quillory::SendMailResult result = Send(&message, client);
  EXPECT_EQ(result.code, static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_EQ(result.outcome, quillory::Outcome::kTooLarge);
  EXPECT_TRUE(client.log.empty());
}

// Nothing is sent, nothing stays allocated, and the caller learns why.
TEST(SendMail, RunningOutOfMemoryIsAResult) {
  std::string subject = "S";
  MapiMessage message{};
  message.lpszSubject = subject.data();
  FakeClient client;
  FakeAllocator none;
  none.blocks = 0;
  const quillory::SendMailResult result =
      quillory::SendMail(&message, FakePlatform(client), Storage(none));
  EXPECT_EQ(result.code, static_cast<ULONG>(MAPI_E_INSUFFICIENT_MEMORY));
  EXPECT_EQ(result.outcome, quillory::Outcome::kOutOfMemory);
  EXPECT_TRUE(client.log.empty());
  EXPECT_EQ(none.held, 0);
}

#if defined(__i386__)
FakeClient *g_client = nullptr;

// Shaped and realigned as the exported entry is.
extern "C" QUILLORY_REALIGN_STACK __attribute__((noinline)) ULONG
RealignedEntry(const MapiMessage *message) {
  return SendMail(message, *g_client);
}

// Calls entry with the stack `shift` bytes off the 16-byte alignment that
// this ABI promises, as callers built to keep only 4 bytes may.
ULONG CallMisaligned(ULONG (*entry)(const MapiMessage *),
                     const MapiMessage *message, unsigned shift) {
  ULONG result = 0;
  asm volatile(
      "mov %%esp, %%edi\n\t"
      "and $-16, %%esp\n\t"
      "sub %[shift], %%esp\n\t"
      "sub $12, %%esp\n\t"
      "push %[message]\n\t"
      "call *%[entry]\n\t"
      "mov %%edi, %%esp"
      : "=a"(result)
      : [entry] "r"(entry), [message] "r"(message), [shift] "r"(shift)
      : "edi", "ecx", "edx", "memory", "cc");
  return result;
}

// The widest note path the processor has (AVX2 where it has it) keeps
// vectors on the stack; entered off alignment it must not fault.
TEST(SendMail, MisalignedCallersAreServed) {
  std::string note;
  for (int line = 0; note.size() < 5000; ++line) {
    note += std::string(static_cast<std::size_t>(line % 97), 'x') + "\r\n";
  }
  note += "stray\rLF\n";
  MapiMessage message{};
  message.lpszNoteText = note.data();
  const auto expected = quillory::BuildMailPacketBytes(message);
  ASSERT_TRUE(expected.has_value());
  for (unsigned shift : {0u, 4u, 8u, 12u}) {
    FakeClient client;
    g_client = &client;
    EXPECT_EQ(CallMisaligned(RealignedEntry, &message, shift),
              static_cast<ULONG>(SUCCESS_SUCCESS));
    EXPECT_EQ(client.sent_packets, std::vector<std::string>{*expected})
        << "stack off by " << shift;
  }
}
#endif

}  // namespace

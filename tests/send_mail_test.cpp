#include "send_mail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "packet_strings.h"
#include "test_support.h"

namespace {

using quillory_test::FakeClient;
using quillory_test::FakeMemory;
using quillory_test::FakePlatform;
using quillory_test::Storage;

ULONG SendMail(const MapiMessage *message, FakeClient &client) {
  FakeMemory memory;
  const ULONG result =
      quillory::SendMail(message, FakePlatform(client), Storage(memory));
  EXPECT_EQ(memory.held, 0) << "storage left allocated";
  return result;
}

TEST(SendMail, EmptyMessageReachesARunningClient) {
  FakeClient client;
  const MapiMessage message{};
  EXPECT_EQ(SendMail(&message, client), static_cast<ULONG>(SUCCESS_SUCCESS));
  EXPECT_EQ(client.sent_packets,
            std::vector<std::string>{std::string(16, '\0')});
}

TEST(SendMail, FailsWhenNoClientWindowIsReached) {
  FakeClient never;
  never.window_from_look = 0;
  const MapiMessage message{};
  EXPECT_EQ(SendMail(&message, never), static_cast<ULONG>(MAPI_E_FAILURE));

  FakeClient refused;
  refused.delivers = false;
  EXPECT_EQ(SendMail(&message, refused), static_cast<ULONG>(MAPI_E_FAILURE));
}

TEST(SendMail, NullMessageFailsBeforeAnythingIsLookedUp) {
  FakeClient client;
  EXPECT_EQ(SendMail(nullptr, client), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(client.log.empty());
}

TEST(SendMail, UnpackableMessageFailsBeforeAnythingIsLookedUp) {
  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  MapiMessage message{};
  message.lpszSubject = const_cast<char *>(huge.data());
  FakeClient client;
  EXPECT_EQ(SendMail(&message, client), static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(client.log.empty());
}

// Nothing is sent, nothing stays allocated, and the caller learns why.
TEST(SendMail, RunningOutOfMemoryIsAResult) {
  std::string subject = "S";
  MapiMessage message{};
  message.lpszSubject = subject.data();
  FakeClient client;
  FakeMemory none;
  none.blocks = 0;
  EXPECT_EQ(quillory::SendMail(&message, FakePlatform(client), Storage(none)),
            static_cast<ULONG>(MAPI_E_INSUFFICIENT_MEMORY));
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

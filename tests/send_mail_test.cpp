#include "send_mail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
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

}  // namespace

#include "send_mail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "test_support.h"

namespace {

using quillory::SendMail;
using quillory_test::FakeClient;
using quillory_test::FakePlatform;

TEST(SendMail, EmptyMessageReachesARunningClient) {
  FakeClient client;
  const MapiMessage message{};
  EXPECT_EQ(SendMail(&message, FakePlatform(client)),
            static_cast<ULONG>(SUCCESS_SUCCESS));
  EXPECT_EQ(client.sent_packets,
            std::vector<std::string>{std::string(16, '\0')});
}

TEST(SendMail, FailsWhenNoClientWindowIsReached) {
  FakeClient never;
  never.window_from_look = 0;
  const MapiMessage message{};
  EXPECT_EQ(SendMail(&message, FakePlatform(never)),
            static_cast<ULONG>(MAPI_E_FAILURE));

  FakeClient refused;
  refused.delivers = false;
  EXPECT_EQ(SendMail(&message, FakePlatform(refused)),
            static_cast<ULONG>(MAPI_E_FAILURE));
}

TEST(SendMail, NullMessageFailsBeforeAnythingIsLookedUp) {
  FakeClient client;
  EXPECT_EQ(SendMail(nullptr, FakePlatform(client)),
            static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(client.log.empty());
}

TEST(SendMail, UnpackableMessageFailsBeforeAnythingIsLookedUp) {
  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  MapiMessage message{};
  message.lpszSubject = const_cast<char *>(huge.data());
  FakeClient client;
  EXPECT_EQ(SendMail(&message, FakePlatform(client)),
            static_cast<ULONG>(MAPI_E_FAILURE));
  EXPECT_TRUE(client.log.empty());
}

TEST(SendMail, NoExceptionLeavesTheCall) {
  const MapiMessage message{};
  FakeClient out_of_memory;
  out_of_memory.throws_bad_alloc = true;
  EXPECT_EQ(SendMail(&message, FakePlatform(out_of_memory)),
            static_cast<ULONG>(MAPI_E_INSUFFICIENT_MEMORY));
  FakeClient broken;
  broken.throws_other = true;
  EXPECT_EQ(SendMail(&message, FakePlatform(broken)),
            static_cast<ULONG>(MAPI_E_FAILURE));
}

}  // namespace

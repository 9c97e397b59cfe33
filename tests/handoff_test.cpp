#include "handoff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "test_support.h"

namespace {

using quillory::HandOffToClient;
using quillory_test::FakeClient;
using quillory_test::FakePlatform;
using Log = std::vector<std::string>;

std::vector<std::string> PollThenFind(int polls) {
  Log log = {"find", "module", "inspect", "launch"};
  for (int i = 0; i < polls; ++i) {
    log.push_back("sleep 500");
    log.push_back("find");
  }
  return log;
}

TEST(HandOff, RunningClientGetsThePacketAtOnce) {
  FakeClient client;
  const std::string packet(29, 'p');
  EXPECT_TRUE(
      HandOffToClient(FakePlatform(client), packet.data(), packet.size()));
  EXPECT_EQ(client.log, (Log{"find", "owner", "allow", "send"}));
  EXPECT_EQ(client.allowed_process, 4242u);
  EXPECT_EQ(client.sent_ids, std::vector<std::uintptr_t>{943});
  EXPECT_EQ(client.sent_packets, std::vector<std::string>{packet});
}

TEST(HandOff, ClientThatNeverAppearsIsPolledSixtyTimes) {
  FakeClient client;
  client.window_from_look = 0;
  EXPECT_FALSE(HandOffToClient(FakePlatform(client), "p", 1));
  EXPECT_EQ(client.log, PollThenFind(60));
  EXPECT_EQ(client.looks, 61);
  EXPECT_EQ(client.launched,
            std::vector<std::wstring>{L"C:\\Apps\\Mail\\Quillory.exe"});
  EXPECT_TRUE(client.sent_packets.empty());
}

TEST(HandOff, WindowThatAppearsLateIsLookedUpAgainAfterTheSettlePause) {
  FakeClient client;
  client.window_from_look = 4;  // the third look-up after the launch
  EXPECT_TRUE(HandOffToClient(FakePlatform(client), "p", 1));
  Log expected = PollThenFind(3);
  for (const char *step : {"sleep 2000", "find", "owner", "allow", "send"}) {
    expected.push_back(step);
  }
  EXPECT_EQ(client.log, expected);

  // Found on the very last look-up: still reached.
  FakeClient last;
  last.window_from_look = 61;
  EXPECT_TRUE(HandOffToClient(FakePlatform(last), "p", 1));
  EXPECT_EQ(last.sleeps.size(), 61u);
  EXPECT_EQ(last.sleeps.back(), 2000u);

  // Gone by the end of the settle pause: nothing is sent.
  FakeClient gone;
  gone.window_from_look = 2;
  gone.window_gone_from_look = 3;
  EXPECT_FALSE(HandOffToClient(FakePlatform(gone), "p", 1));
  EXPECT_TRUE(gone.sent_packets.empty());
}

TEST(HandOff, ClientIsStartedFromTheLibrarysOwnFolder) {
  struct Case {
    const wchar_t *module;
    const wchar_t *started;
  };
  for (const Case &c : {
           Case{L"C:\\Apps\\Mail\\x.dll", L"C:\\Apps\\Mail\\Quillory.exe"},
           Case{L"C:\\x.dll", L"C:\\Quillory.exe"},
           Case{L"\\\\server\\share\\My Mail\\m.dll",
                L"\\\\server\\share\\My Mail\\Quillory.exe"},
           Case{L"\\\\?\\C:\\Long\\m.dll", L"\\\\?\\C:\\Long\\Quillory.exe"},
       }) {
    FakeClient client;
    client.window_from_look = 2;
    client.module_path = c.module;
    EXPECT_TRUE(HandOffToClient(FakePlatform(client), "p", 1));
    EXPECT_EQ(client.launched, std::vector<std::wstring>{c.started});
  }
}

TEST(HandOff, NothingIsStartedWithoutASafeAbsoluteFolder) {
  // No path, an empty one, or a relative one (a path without a backslash
  // is taken whole): each would name a program relative to the caller's
  // current drive or folder.
  FakeClient unknown;
  unknown.module_path_known = false;
  FakeClient empty;
  empty.module_path = L"";
  FakeClient relative;
  relative.module_path = L"x.dll";
  FakeClient drive_relative;
  drive_relative.module_path = L"C:x.dll";
  // What the shell would not take literally: a client path of MAX_PATH
  // characters or more, or one with %NAME% in it.
  const std::wstring folder_247 = L"C:\\" + std::wstring(244, L'a');
  FakeClient too_long;
  too_long.module_path = folder_247 + L"\\x.dll";
  FakeClient percent;
  percent.module_path = L"C:\\q%X%\\x.dll";
  for (FakeClient *client :
       {&unknown, &empty, &relative, &drive_relative, &too_long, &percent}) {
    client->window_from_look = 0;
    EXPECT_FALSE(HandOffToClient(FakePlatform(*client), "p", 1));
    EXPECT_EQ(client->log, (Log{"find", "module"}));
    EXPECT_TRUE(client->launched.empty());
  }

  // A folder named like the client would open in a window of its own: fail
  // at once. A missing client is still waited for, as it may yet appear.
  FakeClient folder;
  folder.client_path_kind = quillory::PathKind::kOther;
  folder.window_from_look = 0;
  EXPECT_FALSE(HandOffToClient(FakePlatform(folder), "p", 1));
  EXPECT_EQ(folder.log, (Log{"find", "module", "inspect"}));
  FakeClient missing;
  missing.client_path_kind = quillory::PathKind::kMissing;
  missing.window_from_look = 0;
  EXPECT_FALSE(HandOffToClient(FakePlatform(missing), "p", 1));
  EXPECT_EQ(missing.log, PollThenFind(60));

  FakeClient one_shorter;
  one_shorter.module_path = folder_247.substr(0, 246) + L"\\x.dll";
  one_shorter.window_from_look = 2;
  EXPECT_TRUE(HandOffToClient(FakePlatform(one_shorter), "p", 1));
  ASSERT_EQ(one_shorter.launched.size(), 1u);
  EXPECT_EQ(one_shorter.launched[0].size(), 259u);

  FakeClient relative_dir;
  wchar_t directory[quillory::MODULE_PATH_CAPACITY];
  EXPECT_EQ(quillory::GetModuleDirectory(FakePlatform(relative_dir), directory),
            12u);
  EXPECT_EQ(std::wstring(directory), L"C:\\Apps\\Mail");
  relative_dir.module_path = L"x.dll";
  EXPECT_EQ(quillory::GetModuleDirectory(FakePlatform(relative_dir), directory),
            5u);
  EXPECT_EQ(std::wstring(directory), L"x.dll");
}

TEST(HandOff, SendThatDidNotArriveIsAFailure) {
  FakeClient client;
  client.delivers = false;
  EXPECT_FALSE(HandOffToClient(FakePlatform(client), "p", 1));
  EXPECT_EQ(client.log, (Log{"find", "owner", "allow", "send"}));

  // A reply of 0 from a window destroyed meanwhile: nothing arrived.
  FakeClient destroyed;
  destroyed.reply = 0;
  destroyed.window_gone_after_send = true;
  EXPECT_FALSE(HandOffToClient(FakePlatform(destroyed), "p", 1));
  EXPECT_EQ(destroyed.log, (Log{"find", "owner", "allow", "send", "exists"}));

  // A reply of 0 from a window still there: a client that ignored the
  // message, which counts as reached.
  FakeClient ignored;
  ignored.reply = 0;
  EXPECT_TRUE(HandOffToClient(FakePlatform(ignored), "p", 1));
  EXPECT_EQ(ignored.log, (Log{"find", "owner", "allow", "send", "exists"}));
}

TEST(HandOff, PacketTooLongForCopyDataIsNeverSent) {
  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  FakeClient client;
  EXPECT_FALSE(HandOffToClient(FakePlatform(client), huge.data(),
                               quillory_test::kFourGiB));
  EXPECT_TRUE(client.log.empty());
}

}  // namespace

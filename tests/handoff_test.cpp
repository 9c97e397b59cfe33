#include "handoff/handoff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "test_support.h"

namespace {

using quillory::HandOffToClient;
using quillory::Outcome;
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
  quillory::HandOffFacts facts;
  EXPECT_EQ(HandOffToClient(FakePlatform(client), packet.data(), packet.size(),
                            &facts),
            Outcome::kDelivered);
  EXPECT_EQ(client.log, (Log{"find", "owner", "allow", "send"}));
  EXPECT_EQ(client.allowed_process, 4242u);
  EXPECT_EQ(client.sent_ids, std::vector<std::uintptr_t>{943});
  EXPECT_EQ(client.sent_packets, std::vector<std::string>{packet});
  EXPECT_EQ(client.send_bounds, std::vector<std::uint32_t>{300000});
  EXPECT_EQ(facts.process_id, 4242u);
  EXPECT_EQ(facts.system_error, 0u);
  EXPECT_EQ(std::wstring(facts.client_path), L"");
}

TEST(HandOff, ClientThatNeverAppearsIsPolledSixtyTimes) {
  FakeClient client;
  client.window_from_look = 0;
  quillory::HandOffFacts facts;
  EXPECT_EQ(HandOffToClient(FakePlatform(client), "p", 1, &facts),
            Outcome::kNoWindowAfterStart);
  EXPECT_EQ(client.log, PollThenFind(60));
  EXPECT_EQ(client.looks, 61);
  EXPECT_EQ(client.launched,
            std::vector<std::wstring>{L"C:\\Apps\\Mail\\Quillory.exe"});
  EXPECT_TRUE(client.sent_packets.empty());
  EXPECT_EQ(std::wstring(facts.client_path), client.launched[0]);

  // A start the shell refused is waited out all the same, and named.
  FakeClient refused;
  refused.window_from_look = 0;
  refused.start_error = 2;
  EXPECT_EQ(HandOffToClient(FakePlatform(refused), "p", 1, &facts),
            Outcome::kStartFailed);
  EXPECT_EQ(refused.log, PollThenFind(60));
  EXPECT_EQ(facts.system_error, 2u);
}

TEST(HandOff, WindowThatAppearsLateIsLookedUpAgainAfterTheSettlePause) {
  FakeClient client;
  client.window_from_look = 4;  // the third look-up after the launch
  EXPECT_EQ(HandOffToClient(FakePlatform(client), "p", 1), Outcome::kDelivered);
  Log expected = PollThenFind(3);
  for (const char *step : {"sleep 2000", "find", "owner", "allow", "send"}) {
    expected.push_back(step);
  }
  EXPECT_EQ(client.log, expected);

  // Found on the very last look-up: still reached.
  FakeClient last;
  last.window_from_look = 61;
  EXPECT_EQ(HandOffToClient(FakePlatform(last), "p", 1), Outcome::kDelivered);
  EXPECT_EQ(last.sleeps.size(), 61u);
  EXPECT_EQ(last.sleeps.back(), 2000u);

  // Gone by the end of the settle pause: nothing is sent.
  FakeClient gone;
  gone.window_from_look = 2;
  gone.window_gone_from_look = 3;
  EXPECT_EQ(HandOffToClient(FakePlatform(gone), "p", 1),
            Outcome::kNoWindowAfterStart);
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
    EXPECT_EQ(HandOffToClient(FakePlatform(client), "p", 1),
              Outcome::kDelivered);
    EXPECT_EQ(client.launched, std::vector<std::wstring>{c.started});
  }
}

TEST(HandOff, NothingIsStartedWithoutASafeAbsoluteFolder) {
  // No path, an empty one, or a relative one (a path without a backslash
  // is taken whole): each would name a program relative to the caller's
  // current drive or folder. What the shell would not take literally: a
  // client path of MAX_PATH characters or more, or one with %NAME% in it.
  const std::wstring folder_247 = L"C:\\" + std::wstring(244, L'a');
  struct Case {
    bool known;
    std::wstring module;
    Outcome outcome;
  };
  for (const Case &c : {
           Case{false, L"", Outcome::kNoOwnPath},
           Case{true, L"", Outcome::kNoOwnPath},
           Case{true, L"x.dll", Outcome::kFolderRefused},
           Case{true, L"C:x.dll", Outcome::kFolderRefused},
           Case{true, folder_247 + L"\\x.dll", Outcome::kFolderRefused},
           Case{true, L"C:\\" + std::wstring(600, L'b') + L"\\x.dll",
                Outcome::kFolderRefused},
           Case{true, L"C:\\q%X%\\x.dll", Outcome::kFolderRefused},
       }) {
    FakeClient client;
    client.module_path_known = c.known;
    client.module_path = c.module;
    client.window_from_look = 0;
    EXPECT_EQ(HandOffToClient(FakePlatform(client), "p", 1), c.outcome)
        << c.module.size();
    EXPECT_EQ(client.log, (Log{"find", "module"}));
    EXPECT_TRUE(client.launched.empty());
  }

  // A folder named like the client would open in a window of its own: fail
  // at once. A missing client is still waited for, as it may yet appear.
  FakeClient folder;
  folder.client_path_kind = quillory::PathKind::kOther;
  folder.window_from_look = 0;
  quillory::HandOffFacts facts;
  EXPECT_EQ(HandOffToClient(FakePlatform(folder), "p", 1, &facts),
            Outcome::kClientNotAFile);
  EXPECT_EQ(folder.log, (Log{"find", "module", "inspect"}));
  EXPECT_EQ(std::wstring(facts.client_path), L"C:\\Apps\\Mail\\Quillory.exe");
  FakeClient missing;
  missing.client_path_kind = quillory::PathKind::kMissing;
  missing.window_from_look = 0;
  EXPECT_EQ(HandOffToClient(FakePlatform(missing), "p", 1),
            Outcome::kNoWindowAfterStart);
  EXPECT_EQ(missing.log, PollThenFind(60));

  FakeClient one_shorter;
  one_shorter.module_path = folder_247.substr(0, 246) + L"\\x.dll";
  one_shorter.window_from_look = 2;
  EXPECT_EQ(HandOffToClient(FakePlatform(one_shorter), "p", 1),
            Outcome::kDelivered);
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
  relative_dir.module_path = L"C:\\" + std::wstring(600, L'b') + L"\\x.dll";
  EXPECT_EQ(quillory::GetModuleDirectory(FakePlatform(relative_dir), directory),
            quillory::MODULE_PATH_CAPACITY);
}

// The send's facts decide, against the platform's bound (7 s here): the
// window and its thread are asked about only where that matters.
TEST(HandOff, TheSendsFactsDecideTheOutcome) {
  constexpr std::uint32_t kBound = 7000;
  struct Row {
    const char *what;
    quillory::CopyDataSend send;
    bool gone;
    bool hung;
    Outcome outcome;
    Log asked;
  };
  const Row rows[] = {
      {"answered", {true, 1, 0, 5}, false, false, Outcome::kDelivered, {}},
      {"answered 0, window there: ignored, still reached",
       {true, 0, 0, 5},
       false,
       false,
       Outcome::kDelivered,
       {"exists"}},
      {"answered 0, window destroyed meanwhile: nothing arrived",
       {true, 0, 0, 5},
       true,
       false,
       Outcome::kWindowGone,
       {"exists"}},
      {"invalid window before the bound",
       {false, 0, 1400, 0},
       true,
       false,
       Outcome::kWindowGone,
       {"exists"}},
      {"refused before the bound, window there",
       {false, 0, 5, 0},
       false,
       false,
       Outcome::kSendRefused,
       {"exists"}},
      {"given up at once as hung",
       {false, 0, 1460, 0},
       false,
       true,
       Outcome::kClientHung,
       {}},
      {"timed out 101 ms short of the bound",
       {false, 0, 1460, kBound - 101},
       false,
       false,
       Outcome::kClientHung,
       {}},
      {"timed out within the tick slack: at the bound, held",
       {false, 0, 1460, kBound - 100},
       false,
       false,
       Outcome::kDelivered,
       {"exists", "hung"}},
      {"at the bound, hung: never taken",
       {false, 0, 1460, kBound + 16},
       false,
       true,
       Outcome::kUnanswered,
       {"exists", "hung"}},
      {"at the bound, window gone",
       {false, 0, 1460, kBound},
       true,
       false,
       Outcome::kWindowGone,
       {"exists"}},
  };
  for (const Row &row : rows) {
    FakeClient client;
    client.send_timeout_ms = kBound;
    client.send = row.send;
    client.window_gone_after_send = row.gone;
    client.hung = row.hung;
    quillory::HandOffFacts facts;
    EXPECT_EQ(HandOffToClient(FakePlatform(client), "p", 1, &facts),
              row.outcome)
        << row.what;
    Log expected = {"find", "owner", "allow", "send"};
    expected.insert(expected.end(), row.asked.begin(), row.asked.end());
    EXPECT_EQ(client.log, expected) << row.what;
    EXPECT_EQ(client.send_bounds, std::vector<std::uint32_t>{kBound});
    EXPECT_EQ(facts.system_error, row.send.sent ? 0u : row.send.error)
        << row.what;
  }
}

TEST(HandOff, PacketTooLongForCopyDataIsNeverSent) {
  if (!quillory_test::kWideSize) GTEST_SKIP() << "size_t cannot hold 2^32";
  quillory_test::HugeText huge(quillory_test::kFourGiB);
  ASSERT_NE(huge.data(), nullptr);
  FakeClient client;
  EXPECT_EQ(HandOffToClient(FakePlatform(client), huge.data(),
                            quillory_test::kFourGiB),
            Outcome::kTooLarge);
  EXPECT_TRUE(client.log.empty());
}

}  // namespace

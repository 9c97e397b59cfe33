#include "entry/call_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace {

using quillory::Outcome;
using quillory_test::FakeLog;
using quillory_test::LogTo;

quillory::SendMailResult Result(Outcome outcome, std::uint32_t error = 0,
                                std::uint32_t process = 0,
                                const std::wstring &client = L"") {
  quillory::SendMailResult r{};
  r.code = outcome == Outcome::kDelivered ? 0 : 2;
  r.outcome = outcome;
  r.packet_size = 16;
  r.hand_off.system_error = error;
  r.hand_off.process_id = process;
  client.copy(r.hand_off.client_path, client.size());
  r.hand_off.client_path[client.size()] = L'\0';
  return r;
}

constexpr Outcome kFailures[] = {
    Outcome::kNoMessage,     Outcome::kTooLarge,
    Outcome::kOutOfMemory,   Outcome::kNoOwnPath,
    Outcome::kFolderRefused, Outcome::kClientNotAFile,
    Outcome::kStartFailed,   Outcome::kNoWindowAfterStart,
    Outcome::kWindowGone,    Outcome::kClientHung,
    Outcome::kUnanswered,    Outcome::kSendRefused};

// Each failure: one error event of its own id, its own words first, and
// the same words leading its debug line.
TEST(CallLog, EveryFailureNamesItsStepInAnEventAndALine) {
  std::set<std::uint32_t> ids;
  std::set<std::wstring> words;
  for (Outcome outcome : kFailures) {
    FakeLog log;
    quillory::LogCall(LogTo(log), &log.state, Result(outcome), 12);
    ASSERT_EQ(log.events.size(), 1u);
    const quillory_test::LoggedEvent &event = log.events[0];
    EXPECT_EQ(event.type, quillory::EventType::kError);
    EXPECT_EQ(event.id, quillory::EventIdOf(outcome));
    ASSERT_EQ(event.strings.size(), quillory::EVENT_STRING_COUNT);
    EXPECT_EQ(event.strings[0], quillory::OutcomeWords(outcome));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind(L"Quillory MAPI: " + event.strings[0], 0), 0u);
    ids.insert(event.id);
    words.insert(event.strings[0]);
  }
  EXPECT_EQ(ids.size(), std::size(kFailures));
  EXPECT_EQ(words.size(), std::size(kFailures));
  EXPECT_EQ(ids.count(quillory::LEFT_OUT_EVENT_ID), 0u);
}

TEST(CallLog, TheEventAndTheLineCarryTheCallsFacts) {
  FakeLog log;
  quillory::LogCall(LogTo(log), &log.state,
                    Result(Outcome::kStartFailed, 2, 0, L"C:\\Q\\Quillory.exe"),
                    30012);
  ASSERT_EQ(log.events.size(), 1u);
  EXPECT_EQ(log.events[0].strings,
            (std::vector<std::wstring>{
                quillory::OutcomeWords(Outcome::kStartFailed), L"2",
                L"Text of error 2.", L"30012", L"C:\\Q\\Quillory.exe", L"none",
                L"C:\\Apps\\caller.exe", L"77", L"9.8.7", L"TEST"}));
  EXPECT_EQ(log.lines[0],
            L"Quillory MAPI: " +
                std::wstring(quillory::OutcomeWords(Outcome::kStartFailed)) +
                L"; system error 2: Text of error 2.; 30012 ms; client "
                L"C:\\Q\\Quillory.exe; program C:\\Apps\\caller.exe (process "
                L"77); Quillory_MapiDll 9.8.7 TEST\r\n");

  // No error, no client: "none" in the event, nothing of them on the line.
  FakeLog bare;
  quillory::LogCall(LogTo(bare), &bare.state,
                    Result(Outcome::kClientHung, 0, 4242), 0);
  EXPECT_EQ(bare.events[0].strings[1], L"none");
  EXPECT_EQ(bare.events[0].strings[2], L"");
  EXPECT_EQ(bare.events[0].strings[4], L"none");
  EXPECT_EQ(bare.events[0].strings[5], L"4242");
  EXPECT_EQ(bare.lines[0].find(L"system error"), std::wstring::npos);
  EXPECT_NE(bare.lines[0].find(L"; client window (process 4242);"),
            std::wstring::npos);
}

TEST(CallLog, ASuccessLeavesOnlyAShortLine) {
  FakeLog log;
  quillory::LogCall(LogTo(log), &log.state,
                    Result(Outcome::kDelivered, 0, 4242), 3);
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(log.lines, std::vector<std::wstring>{
                           L"Quillory MAPI: delivered to the client's window "
                           L"(process 4242), 16 bytes, 3 ms\r\n"});
}

// Its line costs as much as a small send: written only while a debugger
// or a listener reads it, a listener looked for once a second.
TEST(CallLog, ASuccessIsWrittenOnlyWhileSomethingReadsTheDebugOutput) {
  FakeLog log;
  const quillory::LogPlatform platform = LogTo(log);
  log.listener = false;
  log.now_ms = 5000;
  for (int i = 0; i < 3; ++i) {
    quillory::LogCall(platform, &log.state, Result(Outcome::kDelivered), 0);
  }
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(log.listener_looks, 1);
  log.listener = true;  // started meanwhile
  quillory::LogCall(platform, &log.state, Result(Outcome::kDelivered), 0);
  EXPECT_TRUE(log.lines.empty());
  log.now_ms = 6000;
  quillory::LogCall(platform, &log.state, Result(Outcome::kDelivered), 0);
  quillory::LogCall(platform, &log.state, Result(Outcome::kDelivered), 0);
  EXPECT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.listener_looks, 2);

  FakeLog debugged;
  debugged.listener = false;
  debugged.debugger = true;
  quillory::LogCall(LogTo(debugged), &debugged.state,
                    Result(Outcome::kDelivered), 0);
  EXPECT_EQ(debugged.lines.size(), 1u);
  EXPECT_EQ(debugged.listener_looks, 0);

  // A failure's line goes out whoever listens.
  FakeLog failed;
  failed.listener = false;
  quillory::LogCall(LogTo(failed), &failed.state, Result(Outcome::kNoMessage),
                    0);
  EXPECT_EQ(failed.lines.size(), 1u);
}

// A program that fails in a loop: five events a minute, every line, and
// the next minute's first event preceded by the count of those left out.
TEST(CallLog, AProgramThatKeepsFailingWritesAFewEventsAMinute) {
  FakeLog log;
  const quillory::LogPlatform platform = LogTo(log);
  log.now_ms = std::uint64_t{7} * 60000 + 100;
  for (int i = 0; i < 8; ++i) {
    quillory::LogCall(platform, &log.state, Result(Outcome::kNoMessage), 0);
    log.now_ms += 1000;
  }
  EXPECT_EQ(log.events.size(), quillory::EVENTS_PER_MINUTE);
  EXPECT_EQ(log.lines.size(), 8u);

  log.now_ms = std::uint64_t{9} * 60000;
  for (int i = 0; i < 7; ++i) {
    quillory::LogCall(platform, &log.state, Result(Outcome::kClientHung), 0);
  }
  ASSERT_EQ(log.events.size(), 2 * quillory::EVENTS_PER_MINUTE + 1);
  const quillory_test::LoggedEvent &summary = log.events[5];
  EXPECT_EQ(summary.type, quillory::EventType::kWarning);
  EXPECT_EQ(summary.id, quillory::LEFT_OUT_EVENT_ID);
  EXPECT_EQ(summary.strings, std::vector<std::wstring>{L"3"});
  EXPECT_EQ(log.events[6].id, quillory::EventIdOf(Outcome::kClientHung));
  EXPECT_EQ(log.lines.size(), 15u);
  EXPECT_EQ(log.state.left_out, 2u);
}

// The message table holds a message for every event the DLL writes, each
// naming only the strings it is given: a missing one reads in Event
// Viewer as "the description cannot be found".
TEST(CallLog, TheMessageTableHasEveryEvent) {
  std::ifstream mc(QUILLORY_EVENTS_MC);
  ASSERT_TRUE(mc) << QUILLORY_EVENTS_MC;
  std::map<std::uint32_t, std::string> messages;
  std::uint32_t id = 0;
  bool in_text = false;
  for (std::string line; std::getline(mc, line);) {
    if (in_text) {
      if (line == ".") {
        in_text = false;
      } else {
        messages[id] += line;
      }
    } else if (line.rfind("MessageId=", 0) == 0) {
      id = static_cast<std::uint32_t>(std::stoul(line.substr(10)));
    } else if (line.rfind("Language=", 0) == 0) {
      in_text = true;
    }
  }
  const std::regex insert("%([0-9]+)");
  const auto highest = [&](const std::string &text) {
    unsigned most = 0;
    for (std::sregex_iterator i(text.begin(), text.end(), insert), end;
         i != end; ++i) {
      most = std::max(most, static_cast<unsigned>(std::stoul((*i)[1])));
    }
    return most;
  };
  for (Outcome outcome : kFailures) {
    const std::uint32_t event = quillory::EventIdOf(outcome);
    ASSERT_EQ(messages.count(event), 1u) << event;
    EXPECT_EQ(messages[event].rfind("%1.", 0), 0u) << event;
    EXPECT_LE(highest(messages[event]), quillory::EVENT_STRING_COUNT) << event;
  }
  ASSERT_EQ(messages.count(quillory::LEFT_OUT_EVENT_ID), 1u);
  EXPECT_EQ(highest(messages[quillory::LEFT_OUT_EVENT_ID]), 1u);
  EXPECT_EQ(messages.size(), std::size(kFailures) + 1);
}

}  // namespace

#include "packet/text_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "packet_strings.h"

namespace {

using quillory::CountChar;
using quillory::EraseChar;
using quillory::FormatRecipient;
using quillory::NormalizeLineBreaks;
using quillory::ReplaceAll;

// The defining loop, written the plain way.
std::size_t ReferenceReplaceAll(std::string &text, const std::string &needle,
                                const std::string &replacement) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + replacement.size())) {
    text.replace(at, needle.size(), replacement);
    ++count;
  }
  return count;
}

TEST(TextRules, CountAndEraseWorkOnBytes) {
  EXPECT_EQ(CountChar("a\rb\r\r", '\r'), 3u);
  EXPECT_EQ(CountChar("", '\n'), 0u);
  std::string text("\rx\0\ry\r", 6);
  EraseChar(text, '\r');
  EXPECT_EQ(text, std::string("x\0y", 3));
  EraseChar(text, 'z');
  EXPECT_EQ(text, std::string("x\0y", 3));
}

TEST(TextRules, ReplaceAllNeverSearchesInsertedText) {
  std::string text = "a\nb\n";
  EXPECT_EQ(ReplaceAll(text, "\n", "\r\n"), 2u);
  EXPECT_EQ(text, "a\r\nb\r\n");

  text = "aaa";
  EXPECT_EQ(ReplaceAll(text, "a", "aa"), 3u);
  EXPECT_EQ(text, "aaaaaa");

  // Matches are taken left to right, so an overlapping needle matches twice
  // in five letters, not three times.
  text = "aaaaa";
  EXPECT_EQ(ReplaceAll(text, "aa", "xyz"), 2u);
  EXPECT_EQ(text, "xyzxyza");

  text = "abcabc";
  EXPECT_EQ(ReplaceAll(text, "bc", "-"), 2u);
  EXPECT_EQ(text, "a-a-");
  EXPECT_EQ(ReplaceAll(text, "", "x"), 0u);
  EXPECT_EQ(ReplaceAll(text, "q", "x"), 0u);
  EXPECT_EQ(text, "a-a-");
}

TEST(TextRules, ReplaceAllAgreesWithThePlainLoop) {
  std::mt19937 random(20261208);
  const std::string alphabet = "ab\r\n";
  auto word = [&](std::size_t max) {
    std::string out(random() % (max + 1), ' ');
    for (char &c : out) c = alphabet[random() % alphabet.size()];
    return out;
  };
  for (int round = 0; round < 5000; ++round) {
    std::string needle = word(3);
    if (needle.empty()) needle = "a";
    const std::string replacement = word(4);
    std::string expected = word(40);
    std::string actual = expected;
    const std::size_t expected_count =
        ReferenceReplaceAll(expected, needle, replacement);
    ASSERT_EQ(ReplaceAll(actual, needle, replacement), expected_count);
    ASSERT_EQ(actual, expected) << "needle " << needle.size() << " bytes";
  }
}

TEST(TextRules, LineBreaksLeaveAsCrLf) {
  // Any LF makes the text LF-delimited, and every CR in it goes.
  EXPECT_EQ(NormalizeLineBreaks("x\ry\r\nz"), "xy\r\nz");
  EXPECT_EQ(NormalizeLineBreaks("x\n\ny"), "x\r\n\r\ny");
  EXPECT_EQ(NormalizeLineBreaks("\r\n\r\n"), "\r\n\r\n");
  EXPECT_EQ(NormalizeLineBreaks("\n"), "\r\n");
  // Without LF, CR is the line break.
  EXPECT_EQ(NormalizeLineBreaks("x\ry"), "x\r\ny");
  EXPECT_EQ(NormalizeLineBreaks("x\r\ry"), "x\r\n\r\ny");
  EXPECT_EQ(NormalizeLineBreaks("plain text"), "plain text");
  EXPECT_EQ(NormalizeLineBreaks(""), "");
}

// The rule as composed from the byte operations, against the note's own
// passes, over texts across many of their 64-byte blocks: dense and sparse
// breaks, some already all CR LF (copied as they are), some ending in a
// lone CR; each also as a zero-terminated note at every alignment.
TEST(TextRules, LineBreakRuleEqualsEraseThenReplace) {
  std::mt19937 random(1208);
  for (int round = 0; round < 3000; ++round) {
    const auto density = static_cast<unsigned>(2 + random() % 40);
    std::string text(random() % 300, 'x');
    for (char &c : text) {
      const auto roll = static_cast<unsigned>(random() % density);
      c = roll == 0 ? '\r' : roll == 1 ? '\n' : static_cast<char>(random());
    }
    if (round % 3 == 0) {
      for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') text.replace(i++, 2, "\r\n");
      }
      if (round % 2 == 0 && !text.empty()) text.back() = '\r';
    }
    std::string note = text;
    std::replace(note.begin(), note.end(), '\0', 'z');
    for (std::size_t offset = 0; offset < 64; offset += 1 + random() % 16) {
      std::string buffer(offset, 'y');
      buffer += note;
      const quillory::NoteScan scan =
          quillory::ScanNote(buffer.c_str() + offset);
      const quillory::LineBreakPlan plan = quillory::PlanLineBreaks(note);
      ASSERT_EQ(scan.text.size(), note.size());
      ASSERT_EQ(scan.plan.size, plan.size);
      ASSERT_EQ(scan.plan.lf_delimited, plan.lf_delimited);
      ASSERT_EQ(scan.plan.unchanged, plan.unchanged);
    }
    std::string composed = text;
    if (CountChar(composed, '\n') != 0) {
      EraseChar(composed, '\r');
      ReplaceAll(composed, "\n", "\r\n");
    } else {
      ReplaceAll(composed, "\r", "\r\n");
    }
    ASSERT_EQ(NormalizeLineBreaks(text), composed);
    ASSERT_EQ(CountChar(text, 'x'), static_cast<std::size_t>(std::count(
                                        text.begin(), text.end(), 'x')));
  }
}

TEST(TextRules, LineBreaksWrittenInPlaceNeverPassThePlannedSize) {
  // A caller's text that gains line breaks between planning and writing:
  // the write stops at the planned size (the sanitizers watch the rest).
  const quillory::LineBreakPlan plan =
      quillory::PlanLineBreaks(std::string(39, 'x') + "\n");
  ASSERT_EQ(plan.size, 41u);
  std::string out(41, '\0');
  quillory::WriteLineBreaks(std::string(40, '\n'), plan, out.data());
  std::string expected;
  for (int i = 0; i < 20; ++i) expected += "\r\n";
  EXPECT_EQ(out, expected + "\r");
}

TEST(TextRules, RecipientPartsFollowThePointersNotTheLengths) {
  char ann[] = "Ann";
  char empty[] = "";
  char address[] = "ann@example.org";
  char quoted[] = "A \"B\"";
  auto format = [](char *name, char *addr) {
    MapiRecipDesc recipient{};
    recipient.lpszName = name;
    recipient.lpszAddress = addr;
    return FormatRecipient(recipient);
  };
  EXPECT_EQ(format(ann, nullptr), "\"Ann\" ");
  EXPECT_EQ(format(nullptr, address), "<ann@example.org>");
  EXPECT_EQ(format(ann, address), "\"Ann\" <ann@example.org>");
  EXPECT_EQ(format(empty, address), "\"\" <ann@example.org>");
  EXPECT_EQ(format(ann, empty), "\"Ann\" <>");
  EXPECT_EQ(format(empty, empty), "\"\" <>");
  EXPECT_EQ(format(nullptr, nullptr), "");
  EXPECT_EQ(format(quoted, nullptr), "\"A \"B\"\" ");
}

}  // namespace

#include "caller_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packet_strings.h"
#include "received_mail.h"
#include "sample_messages.h"

namespace {

using quillory_test::CallerOptions;

// The fields a command line set, in one line to compare.
std::wstring Summary(const CallerOptions &o) {
  std::wstring s;
  const auto add = [&](const std::wstring &part) {
    s += (s.empty() ? L"" : L" ") + part;
  };
  const auto part = [](const wchar_t *label,
                       const std::optional<std::wstring> &text) {
    return text ? std::wstring(label) + L"(" + *text + L")" : std::wstring();
  };
  if (o.help) add(L"help");
  if (!o.dll.empty()) add(L"dll=" + o.dll);
  if (o.mapi32) add(L"mapi32");
  if (!o.message.empty()) add(L"message=" + o.message);
  if (o.flags != 0) add(L"flags=" + std::to_wstring(o.flags));
  if (o.session != 0) add(L"session=" + std::to_wstring(o.session));
  if (o.out != L".") add(L"out=" + o.out);
  if (o.kill_clients) add(L"kill");
  if (o.fail_malloc) add(L"fail-malloc");
  if (o.repeat != 0) add(L"repeat=" + std::to_wstring(o.repeat));
  if (o.handoff_timeout_ms != 0) {
    add(L"handoff=" + std::to_wstring(o.handoff_timeout_ms));
  }
  if (o.send_raw) {
    add((o.send_empty ? L"empty=" : L"raw=") + std::to_wstring(o.raw_data_id));
  }
  if (o.subject) add(part(L"subject", o.subject));
  if (o.note) add(part(L"note", o.note));
  if (o.note_file) add(part(L"note-file", o.note_file));
  for (const auto &r : o.recipients) {
    add(std::to_wstring(r.recip_class) + L":" + part(L"name", r.name) +
        part(L"addr", r.address));
  }
  for (const auto &a : o.attachments) {
    add(part(L"file", a.path) + part(L"as", a.file_name));
  }
  return s;
}

// A command line's outcome: the summary, or "error: " and the line.
std::wstring Parse(std::vector<const wchar_t *> args) {
  args.insert(args.begin(), L"mail_caller");
  CallerOptions options;
  std::wstring error;
  if (!quillory_test::ParseCallerOptions(static_cast<int>(args.size()),
                                         args.data(), &options, &error)) {
    return L"error: " + error;
  }
  return Summary(options);
}

TEST(CallerOptions, GoodAndBadCommandLines) {
  struct Case {
    std::vector<const wchar_t *> args;
    const wchar_t *outcome;
  };
  const Case cases[] = {
      {{L"--help"}, L"help"},
      {{L"-h"}, L"help"},
      {{L"--dll", L"p.dll", L"/?"}, L"help"},
      {{L"--dll", L"C:\\q\\p.dll", L"--message", L"worked", L"--out", L"C:\\o"},
       L"dll=C:\\q\\p.dll message=worked out=C:\\o"},
      {{L"--mapi32", L"--message", L"null", L"--flags", L"0x9", L"--session",
        L"18446744073709551615"},
       L"mapi32 message=null flags=9 session=18446744073709551615"},
      {{L"--kill-clients"}, L"kill"},
      {{L"--dll", L"p.dll", L"--fail-malloc"}, L"dll=p.dll fail-malloc"},
      {{L"--send-raw", L"943", L"--send-empty", L"1"}, L"empty=1"},
      {{L"--handoff-timeout-ms", L"6000", L"--message", L"worked"},
       L"message=worked handoff=6000"},
      {{L"--dll", L"p", L"--repeat", L"8000"}, L"dll=p repeat=8000"},
      // Every recipient form, in the order given.
      {{L"--mapi32",
        L"--to",
        L"Bob Jones <bob@x.org>",
        L"--cc",
        L"  \"Jones, Bob\"  <SMTP:bob@x.org>",
        L"--bcc",
        L"<bob@x.org>",
        L"--to",
        L"\"\" <b@x>",
        L"--to",
        L"bob@x.org",
        L"--to",
        L"Bob",
        L"--to",
        L"\"\"",
        L"--to",
        L"",
        L"--to",
        L"\"bob@x.org\"",
        L"--to",
        L"<>",
        L"--to",
        L"\"A <b>\" <c@d>"},
       L"mapi32 1:name(Bob Jones)addr(bob@x.org) "
       L"2:name(Jones, Bob)addr(SMTP:bob@x.org) 3:addr(bob@x.org) "
       L"1:name()addr(b@x) 1:addr(bob@x.org) 1:name(Bob) 1:name() 1:name() "
       L"1:name(bob@x.org) 1:addr() 1:name(A <b>)addr(c@d)"},
      {{L"--mapi32", L"--subject", L"Gr\u00FC\u00DFe", L"--note-file", L"n.txt",
        L"--attach", L"C:\\a b.pdf", L"--attach", L"C:\\r.pdf|Report.pdf",
        L"--attach", L"C:\\e|"},
       L"mapi32 subject(Gr\u00FC\u00DFe) note-file(n.txt) file(C:\\a b.pdf) "
       L"file(C:\\r.pdf)as(Report.pdf) file(C:\\e)as()"},
      {{L"--mapi32", L"--subject", L"", L"--note", L""},
       L"mapi32 subject() note()"},
      // Refused, each in one line naming what is wrong.
      {{L"--dll", L"p", L"--frob"},
       L"error: unknown option: --frob; see --help"},
      {{L"--frob", L"--help"}, L"error: unknown option: --frob; see --help"},
      {{L"-dll", L"p"}, L"error: unknown option: -dll; see --help"},
      {{L"--dll"}, L"error: incomplete option: --dll needs PATH; see --help"},
      {{L"--mapi32", L"--to"},
       L"error: incomplete option: --to needs TEXT; see --help"},
      {{L"--mapi32", L"--message", L"bogus"},
       L"error: bad value for --message: bogus; see --help"},
      {{L"--mapi32", L"--flags", L"4294967296"},
       L"error: bad value for --flags: 4294967296; see --help"},
      {{L"--mapi32", L"--repeat", L"-1"},
       L"error: bad value for --repeat: -1; see --help"},
      {{L"--mapi32", L"--repeat", L"12x"},
       L"error: bad value for --repeat: 12x; see --help"},
      {{L"--mapi32", L"--send-raw", L"0x"},
       L"error: bad value for --send-raw: 0x; see --help"},
      {{L"--mapi32", L"--busy-client-ms", L""},
       L"error: bad value for --busy-client-ms: ; see --help"},
      {{L"--mapi32", L"--to", L"Bob <bob@x.org"},
       L"error: bad value for --to: Bob <bob@x.org; see --help"},
      {{L"--mapi32", L"--cc", L"a > b"},
       L"error: bad value for --cc: a > b; see --help"},
      {{L"--mapi32", L"--note", L"x", L"--note-file", L"n"},
       L"error: --note and --note-file: give one note; see --help"},
      {{L"--mapi32", L"--message", L"worked", L"--to", L"a@b"},
       L"error: --message and a message of your own: give one; see --help"},
      {{L"--mapi32", L"--dll", L"p"},
       L"error: --dll and --mapi32: give one; see --help"},
      {{L"--message", L"worked"},
       L"error: name a provider: --dll PATH or --mapi32; see --help"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Parse(c.args), c.outcome) << c.args.size() << " arguments";
  }
}

// A sample named in --help that cannot be made would fail only when sent.
TEST(CallerOptions, EverySampleListedIsMadeAndNamedInHelp) {
  const std::string help = quillory_test::CallerHelp();
  for (const auto &sample : quillory_test::SampleMessages()) {
    quillory_test::SampleMessage made;
    EXPECT_TRUE(quillory_test::MakeSampleMessage(sample.name, &made))
        << sample.name;
    EXPECT_NE(help.find(std::string("\n  ") + sample.name + " "),
              std::string::npos)
        << sample.name;
  }
}

// Each part lands in its own field: a swapped name and address, or a
// display name sent as the path, shows here.
TEST(CallerOptions, OwnMessageFillsTheFieldsGiven) {
  quillory_test::OwnMessage own;
  own.note = "x\ny";
  own.recipients = {{MAPI_TO, "N", "a"},
                    {MAPI_CC, "N", std::nullopt},
                    {MAPI_BCC, std::nullopt, "a"}};
  own.files = {{"C:\\f", "shown.pdf"}};
  quillory_test::SampleMessage m;
  quillory_test::MakeOwnMessage(own, &m);
  EXPECT_EQ(m.message.lpszSubject, nullptr);
  EXPECT_EQ(m.message.lpRecips[2].ulRecipClass, MAPI_BCC);
  EXPECT_STREQ(m.message.lpFiles[0].lpszFileName, "shown.pdf");
  const auto mail =
      quillory_test::ReadMail(*quillory::BuildMailPacketBytes(m.message));
  ASSERT_TRUE(mail);
  EXPECT_EQ(mail->note_text, "x\r\ny");
  EXPECT_EQ(mail->recipients,
            (std::vector<std::string>{"\"N\" <a>", "\"N\" ", "<a>"}));
  EXPECT_EQ(mail->attachments, std::vector<std::string>{"C:\\f"});
}

}  // namespace

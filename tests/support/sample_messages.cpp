#include "sample_messages.h"

namespace quillory_test {

namespace {

char *Keep(SampleMessage *m, std::string &&text) {
  m->texts.push_back(std::move(text));
  return m->texts.back().data();
}

// Null for a part not given.
char *KeepIf(SampleMessage *m, const std::optional<std::string> &text) {
  return text ? Keep(m, std::string(*text)) : nullptr;
}

void AddRecipient(SampleMessage *m, ULONG recip_class,
                  const std::optional<std::string> &name,
                  const std::optional<std::string> &address) {
  MapiRecipDesc r{};
  r.ulRecipClass = recip_class;
  r.lpszName = KeepIf(m, name);
  r.lpszAddress = KeepIf(m, address);
  m->recipients.push_back(r);
}

void AddRecipient(SampleMessage *m, ULONG recip_class, const char *name,
                  const char *address) {
  AddRecipient(
      m, recip_class,
      name != nullptr ? std::optional<std::string>(name) : std::nullopt,
      address != nullptr ? std::optional<std::string>(address) : std::nullopt);
}

void AddFile(SampleMessage *m, const std::string &path,
             const std::optional<std::string> &file_name) {
  MapiFileDesc f{};
  f.nPosition = 0xFFFFFFFFu;
  f.lpszPathName = Keep(m, std::string(path));
  f.lpszFileName = KeepIf(m, file_name);
  m->files.push_back(f);
}

void AddFile(SampleMessage *m, const char *path, const char *file_name) {
  AddFile(m, std::string(path),
          file_name != nullptr ? std::optional<std::string>(file_name)
                               : std::nullopt);
}

// The message's counts and arrays, once its parts are in.
void Seal(SampleMessage *m) {
  m->message.nRecipCount = static_cast<ULONG>(m->recipients.size());
  m->message.lpRecips = m->recipients.empty() ? nullptr : m->recipients.data();
  m->message.nFileCount = static_cast<ULONG>(m->files.size());
  m->message.lpFiles = m->files.empty() ? nullptr : m->files.data();
}

// A note of about `size` bytes with CR LF line breaks, as Windows callers
// send them.
std::string LongNote(std::size_t size) {
  std::string note;
  note.reserve(size + 80);
  for (int line = 1; note.size() < size; ++line) {
    note += "Line " + std::to_string(line) +
            " of a long note, with some words to fill it out.\r\n";
  }
  return note;
}

}  // namespace

const std::vector<SampleInfo> &SampleMessages() {
  static const std::vector<SampleInfo> samples = {
      {"empty", "every field absent: 16 zero bytes"},
      {"worked", "docs/packet.md's worked example, 41 bytes"},
      {"linebreaks", "CR, LF and CR LF in every field"},
      {"recipients", "each form of name and address, To, Cc, Bcc, originator"},
      {"attachments", "three paths: spaces, an 8-bit letter, a share"},
      {"sample", "a short mail: three recipients, two attachments (default)"},
      {"large", "a 512 KiB note"},
      {"oversized", "a 2 MiB note, past what Wine carries"},
      {"markers", "a marker string in every field, for the log's tests"},
  };
  return samples;
}

bool MakeSampleMessage(const std::string &name, SampleMessage *out) {
  SampleMessage &m = *out;
  m = SampleMessage{};
  if (name == "empty") {
    // Every field absent.
  } else if (name == "worked") {
    m.message.lpszSubject = Keep(&m, "AB");
    m.message.lpszNoteText = Keep(&m, "x\ry");
    AddRecipient(&m, MAPI_TO, "N", "a");
    AddFile(&m, "C:\\f", nullptr);
  } else if (name == "linebreaks") {
    m.message.lpszSubject = Keep(&m, "Subject\r\nkept as it is");
    m.message.lpszNoteText = Keep(&m, "one\rtwo\r\nthree\n\nfour\r");
    AddRecipient(&m, MAPI_TO, "Line\nbreak", "lf@example.org\r");
    AddFile(&m, "C:\\odd\nname.txt", nullptr);
  } else if (name == "recipients") {
    m.message.lpszSubject = Keep(&m, "Recipients of every kind");
    AddRecipient(&m, MAPI_TO, "Ann Smith", "ann@example.org");
    AddRecipient(&m, MAPI_CC, "Bob Only-Name", nullptr);
    AddRecipient(&m, MAPI_BCC, nullptr, "carol@example.org");
    AddRecipient(&m, MAPI_TO, nullptr, nullptr);
    AddRecipient(&m, MAPI_CC, "", "");
    AddRecipient(&m, MAPI_BCC, "Dan \"The Man\"", "SMTP:dan@example.org");
    AddRecipient(&m, MAPI_ORIG, "Ren\xE9", "rene@example.org");
  } else if (name == "attachments") {
    m.message.lpszSubject = Keep(&m, "Three files");
    m.message.lpszNoteText = Keep(&m, "See attached.");
    AddFile(&m, R"(C:\Users\ann\Documents\Quarterly report.pdf)",
            "Quarterly report.pdf");
    AddFile(&m, "C:\\Temp\\r\xE9sum\xE9.docx", nullptr);
    AddFile(&m, R"(\\server\share\data.csv)", "data.csv");
  } else if (name == "sample") {
    m.message.lpszSubject = Keep(&m, "Quarterly report");
    m.message.lpszNoteText =
        Keep(&m,
             "Hello all,\r\n\r\nthe quarterly report and its figures are "
             "attached.\r\n\r\nRegards,\r\nAnn");
    AddRecipient(&m, MAPI_TO, "Bob Jones", "bob@example.org");
    AddRecipient(&m, MAPI_CC, "Carol White", "carol@example.org");
    AddRecipient(&m, MAPI_BCC, nullptr, "archive@example.org");
    AddFile(&m, "C:\\Reports\\Quarterly report.pdf", "Quarterly report.pdf");
    AddFile(&m, "C:\\Reports\\Figures.xlsx", "Figures.xlsx");
  } else if (name == "large") {
    m.message.lpszSubject = Keep(&m, "A long note");
    m.message.lpszNoteText = Keep(&m, LongNote(std::size_t{512} << 10));
    AddRecipient(&m, MAPI_TO, "Ann Smith", "ann@example.org");
  } else if (name == "oversized") {
    // Past what some transports carry in one WM_COPYDATA.
    m.message.lpszSubject = Keep(&m, "An oversized note");
    m.message.lpszNoteText = Keep(&m, LongNote(std::size_t{2} << 20));
  } else if (name == "markers") {
    // A marker in every text the message can carry, for the tests that
    // look for it in what the provider logs.
    m.message.lpszSubject = Keep(&m, "QuilloryMarker-subject");
    m.message.lpszNoteText = Keep(&m, "QuilloryMarker-note\r\nQuilloryMarker");
    m.message.lpszMessageType = Keep(&m, "QuilloryMarker-type");
    m.message.lpszDateReceived = Keep(&m, "QuilloryMarker-date");
    m.message.lpszConversationID = Keep(&m, "QuilloryMarker-conversation");
    AddRecipient(&m, MAPI_ORIG, "QuilloryMarker-from", "QuilloryMarker-from@x");
    AddRecipient(&m, MAPI_TO, "QuilloryMarker-to", "QuilloryMarker-to@x");
    AddRecipient(&m, MAPI_CC, "QuilloryMarker-cc", "SMTP:QuilloryMarker-cc@x");
    AddFile(&m, "C:\\QuilloryMarker\\file.txt", "QuilloryMarker-file.txt");
    m.message.lpOriginator = m.recipients.data();
  } else {
    return false;
  }
  Seal(&m);
  return true;
}

void MakeOwnMessage(const OwnMessage &own, SampleMessage *out) {
  SampleMessage &m = *out;
  m = SampleMessage{};
  m.message.lpszSubject = KeepIf(&m, own.subject);
  m.message.lpszNoteText = KeepIf(&m, own.note);
  for (const OwnRecipient &r : own.recipients) {
    AddRecipient(&m, r.recip_class, r.name, r.address);
  }
  for (const OwnFile &f : own.files) AddFile(&m, f.path, f.file_name);
  Seal(&m);
}

}  // namespace quillory_test

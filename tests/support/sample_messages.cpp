#include "sample_messages.h"

namespace quillory_test {

namespace {

char *Keep(SampleMessage *m, std::string &&text) {
  m->texts.push_back(std::move(text));
  return m->texts.back().data();
}

void AddRecipient(SampleMessage *m, ULONG recip_class, const char *name,
                  const char *address) {
  MapiRecipDesc r{};
  r.ulRecipClass = recip_class;
  r.lpszName = name != nullptr ? Keep(m, std::string(name)) : nullptr;
  r.lpszAddress = address != nullptr ? Keep(m, std::string(address)) : nullptr;
  m->recipients.push_back(r);
}

void AddFile(SampleMessage *m, const char *path, const char *file_name) {
  MapiFileDesc f{};
  f.nPosition = 0xFFFFFFFFu;
  f.lpszPathName = Keep(m, std::string(path));
  f.lpszFileName =
      file_name != nullptr ? Keep(m, std::string(file_name)) : nullptr;
  m->files.push_back(f);
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

const std::vector<std::string> &SampleMessageNames() {
  static const std::vector<std::string> names = {
      "empty",  "worked", "linebreaks", "recipients", "attachments",
      "sample", "large",  "oversized",  "markers"};
  return names;
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
  m.message.nRecipCount = static_cast<ULONG>(m.recipients.size());
  m.message.lpRecips = m.recipients.empty() ? nullptr : m.recipients.data();
  m.message.nFileCount = static_cast<ULONG>(m.files.size());
  m.message.lpFiles = m.files.empty() ? nullptr : m.files.data();
  return true;
}

}  // namespace quillory_test

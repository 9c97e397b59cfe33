// Fuzz bytes become a Simple MAPI message; its packet must equal what a
// deliberately plain encoder, written here from the format's rules, makes
// of it, and the reader must give back exactly that message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "packet_strings.h"
#include "received_mail.h"

namespace {

// Takes bytes off the front of the input; zeros once it runs out.
struct Input {
  const std::uint8_t *data;
  std::size_t size;

  std::uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  // A text of up to 255 bytes, any of them 0x00 to 0xFF (a zero ends it
  // early, as in the caller's C strings); null when bit is clear in flags.
  char *Text(std::uint8_t flags, int bit, std::deque<std::string> *keep) {
    if ((flags & (1u << bit)) == 0) return nullptr;
    std::string text;
    for (std::uint8_t n = Byte(); n > 0 && size > 0; --n) {
      text.push_back(static_cast<char>(Byte()));
    }
    keep->push_back(text);
    return keep->back().data();
  }
};

std::string Plain(const char *text) { return text != nullptr ? text : ""; }

std::string NoteRule(const std::string &note) {
  std::string out;
  const bool has_lf = note.find('\n') != std::string::npos;
  for (char c : note) {
    if (has_lf && c == '\r') continue;
    if (c == (has_lf ? '\n' : '\r')) {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Recipient(const MapiRecipDesc &r) {
  std::string out;
  if (r.lpszName != nullptr) out += "\"" + std::string(r.lpszName) + "\" ";
  if (r.lpszAddress != nullptr) out += "<" + std::string(r.lpszAddress) + ">";
  return out;
}

struct Plainly {
  std::string bytes;
  void Int(std::size_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<char>((value >> shift) & 0xFFu));
    }
  }
  void Str(const std::string &text) {
    Int(text.size());
    bytes += text;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  Input in{data, size};
  std::deque<std::string> texts;
  std::vector<MapiRecipDesc> recipients;
  std::vector<MapiFileDesc> files;
  MapiMessage message{};

  const std::uint8_t flags = in.Byte();
  message.lpszSubject = in.Text(flags, 0, &texts);
  message.lpszNoteText = in.Text(flags, 1, &texts);
  // Counts with and without their arrays.
  message.nRecipCount = in.Byte() % 8;
  message.nFileCount = in.Byte() % 8;
  if ((flags & 4u) != 0) {
    for (ULONG i = 0; i < message.nRecipCount; ++i) {
      const std::uint8_t parts = in.Byte();
      MapiRecipDesc r{};
      r.ulRecipClass = parts >> 4;
      r.lpszName = in.Text(parts, 0, &texts);
      r.lpszAddress = in.Text(parts, 1, &texts);
      recipients.push_back(r);
    }
    message.lpRecips = recipients.empty() ? nullptr : recipients.data();
  }
  if ((flags & 8u) != 0) {
    for (ULONG i = 0; i < message.nFileCount; ++i) {
      MapiFileDesc f{};
      f.lpszPathName = in.Text(in.Byte(), 0, &texts);
      files.push_back(f);
    }
    message.lpFiles = files.empty() ? nullptr : files.data();
  }

  quillory_test::ReceivedMail expected;
  expected.subject = Plain(message.lpszSubject);
  expected.note_text = NoteRule(Plain(message.lpszNoteText));
  for (const MapiRecipDesc &r : recipients) {
    expected.recipients.push_back(Recipient(r));
  }
  for (const MapiFileDesc &f : files) {
    expected.attachments.push_back(Plain(f.lpszPathName));
  }
  Plainly plain;
  plain.Str(expected.subject);
  plain.Str(expected.note_text);
  plain.Int(expected.recipients.size());
  for (const std::string &r : expected.recipients) plain.Str(r);
  plain.Int(expected.attachments.size());
  for (const std::string &a : expected.attachments) plain.Str(a);

  const auto packet = quillory::BuildMailPacketBytes(message);
  if (!packet || *packet != plain.bytes) std::abort();
  const auto read = quillory_test::ReadMail(*packet);
  if (!read || read->subject != expected.subject ||
      read->note_text != expected.note_text ||
      read->recipients != expected.recipients ||
      read->attachments != expected.attachments) {
    std::abort();
  }
  return 0;
}

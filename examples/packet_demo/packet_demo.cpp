// Packs a sample message, prints the packet's bytes and reads them back as
// the mail client would.
#include <cstdio>
#include <string>

#include "packet_strings.h"
#include "received_mail.h"

int main() {
  char subject[] = "Quarterly report";
  char note[] = "Hello,\rthe report is attached.\rRegards";
  char ann[] = "Ann Smith";
  char ann_address[] = "ann@example.org";
  char bob_address[] = "bob@example.org";
  char path[] = "C:\\Reports\\q3.pdf";
  MapiRecipDesc recipients[2] = {};
  recipients[0].ulRecipClass = MAPI_TO;
  recipients[0].lpszName = ann;
  recipients[0].lpszAddress = ann_address;
  recipients[1].ulRecipClass = MAPI_CC;
  recipients[1].lpszAddress = bob_address;
  MapiFileDesc file{};
  file.lpszPathName = path;
  MapiMessage message{};
  message.lpszSubject = subject;
  message.lpszNoteText = note;
  message.nRecipCount = 2;
  message.lpRecips = recipients;
  message.nFileCount = 1;
  message.lpFiles = &file;

  const auto packet = quillory::BuildMailPacketBytes(message);
  if (!packet) return 1;
  std::printf("MailPacket, %zu bytes:\n", packet->size());
  for (std::size_t i = 0; i < packet->size(); ++i) {
    std::printf("%02X%s", static_cast<unsigned char>((*packet)[i]),
                i % 16 == 15 ? "\n" : " ");
  }
  std::printf("\n\nRead back:\n");
  const auto read = quillory_test::ReadMail(*packet);
  if (!read) {
    std::printf("unreadable\n");
    return 1;
  }
  auto shown = [](const std::string &text) {
    std::string out;
    for (char c : text)
      out += c == '\r' ? "\\r" : c == '\n' ? "\\n\n    " : std::string(1, c);
    return out;
  };
  std::printf("  subject: %s\n", read->subject.c_str());
  std::printf("  note text:\n    %s\n", shown(read->note_text).c_str());
  for (const std::string &r : read->recipients) {
    std::printf("  recipient: %s\n", r.c_str());
  }
  for (const std::string &a : read->attachments) {
    std::printf("  attachment: %s\n", a.c_str());
  }
  return 0;
}

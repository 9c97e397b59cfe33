// Packs a sample message with the provider's own code, prints the
// packet's bytes, and reads them back as a mail client does, with
// include/quillory_packet.h alone.
#include <cstdio>
#include <string>

#include "packet/mail_packet.h"
#include "quillory_packet.h"

namespace {

// CR and LF made visible, each line of the note on a line of its own.
void Show(const char *label, quillory_text text) {
  std::string out;
  for (size_t i = 0; i < text.size; ++i) {
    const char c = text.data[i];
    out += c == '\r' ? "\\r" : c == '\n' ? "\\n\n    " : std::string(1, c);
  }
  std::printf("  %s%s\n", label, out.c_str());
}

}  // namespace

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

  const quillory::PacketBuild built =
      quillory::BuildMailPacket(message, quillory::SystemAllocator());
  if (built.status != quillory::PacketStatus::kBuilt) return 1;
  const char *bytes = built.packet.data();
  const size_t size = built.packet.size();
  std::printf("MailPacket, %zu bytes:\n", size);
  for (size_t i = 0; i < size; ++i) {
    std::printf("%02X%s", static_cast<unsigned char>(bytes[i]),
                i % 16 == 15 ? "\n" : " ");
  }

  // What a client's WM_COPYDATA handler does with lpData and cbData.
  std::printf("\n\nRead back:\n");
  quillory_mail mail;
  if (quillory_read_mail(bytes, size, &mail) == 0) {
    std::printf("unreadable\n");
    return 1;
  }
  Show("subject: ", mail.subject);
  Show("note text:\n    ", mail.note);
  quillory_text entry;
  while (quillory_next(&mail.recipients, &entry) != 0) {
    Show("recipient: ", entry);
  }
  while (quillory_next(&mail.attachments, &entry) != 0) {
    Show("attachment: ", entry);
  }
  return 0;
}

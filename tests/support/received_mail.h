#ifndef QUILLORY_RECEIVED_MAIL_H
#define QUILLORY_RECEIVED_MAIL_H

// A MailPacket taken apart into owned strings, as the tests and the
// stand-in client compare it; read with the client's own reader.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillory_packet.h"

namespace quillory_test {

struct ReceivedMail {
  std::string subject;
  std::string note_text;
  std::vector<std::string> recipients;
  std::vector<std::string> attachments;
};

inline std::string Owned(quillory_text text) {
  return text.size == 0 ? std::string() : std::string(text.data, text.size);
}

inline std::vector<std::string> Entries(quillory_list list) {
  std::vector<std::string> entries;
  quillory_text entry;
  while (quillory_next(&list, &entry) != 0) entries.push_back(Owned(entry));
  return entries;
}

// No mail for a packet the reader refuses.
inline std::optional<ReceivedMail> ReadMail(std::string_view packet) {
  quillory_mail mail;
  if (quillory_read_mail(packet.data(), packet.size(), &mail) == 0) {
    return std::nullopt;
  }
  return ReceivedMail{Owned(mail.subject), Owned(mail.note),
                      Entries(mail.recipients), Entries(mail.attachments)};
}

}  // namespace quillory_test

#endif

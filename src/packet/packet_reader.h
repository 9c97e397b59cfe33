#ifndef QUILLORY_PACKET_READER_H
#define QUILLORY_PACKET_READER_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillory {

// A MailPacket taken apart, as the mail client sees it.
struct ReceivedMail {
  std::string subject;
  std::string note_text;
  std::vector<std::string> recipients;
  std::vector<std::string> attachments;
};

struct PacketReadResult {
  std::optional<ReceivedMail> mail;
  // When mail is empty: what was wrong and at which offset.
  std::string error;
};

// Never trusts a length or count further than the bytes that remain: a
// malformed packet costs no more memory than its own size.
PacketReadResult ReadMailPacket(std::string_view packet);

}  // namespace quillory

#endif

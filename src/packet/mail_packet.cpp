#include "mail_packet.h"

#include <cstdint>
#include <string_view>

#include "packet_writer.h"
#include "text_rules.h"

namespace quillory {

namespace {

std::string_view TextOrEmpty(const char *text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

}  // namespace

std::optional<std::string> BuildMailPacket(const MapiMessage &message) {
  PacketWriter writer;
  if (writer.PutString(TextOrEmpty(message.lpszSubject)) == 0) {
    return std::nullopt;
  }
  if (writer.PutString(
          NormalizeLineBreaks(TextOrEmpty(message.lpszNoteText))) == 0) {
    return std::nullopt;
  }

  // A count without its array is read as an empty array, so that the count
  // written always matches the entries that follow.
  const std::uint32_t recip_count =
      message.lpRecips != nullptr ? message.nRecipCount : 0;
  writer.PutUInt32(recip_count);
  for (std::uint32_t i = 0; i < recip_count; ++i) {
    if (writer.PutString(FormatRecipient(message.lpRecips[i])) == 0) {
      return std::nullopt;
    }
  }

  const std::uint32_t file_count =
      message.lpFiles != nullptr ? message.nFileCount : 0;
  writer.PutUInt32(file_count);
  for (std::uint32_t i = 0; i < file_count; ++i) {
    // An absent path still takes its place, as an empty one.
    if (writer.PutString(TextOrEmpty(message.lpFiles[i].lpszPathName)) == 0) {
      return std::nullopt;
    }
  }
  return writer.Finish();
}

}  // namespace quillory

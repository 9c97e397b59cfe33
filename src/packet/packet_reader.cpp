#include "packet_reader.h"

#include <cstdint>
#include <string>
#include <utility>

namespace quillory {

namespace {

struct Cursor {
  std::string_view packet;
  std::size_t offset;
  std::string error;
};

std::size_t Remaining(const Cursor &cursor) {
  return cursor.packet.size() - cursor.offset;
}

void Fail(Cursor &cursor, const std::string &what, std::size_t at,
          const std::string &problem) {
  cursor.error = what + " at offset " + std::to_string(at) + ": " + problem +
                 " (packet of " + std::to_string(cursor.packet.size()) +
                 " bytes)";
}

bool ReadUInt32(Cursor &cursor, const std::string &what, std::uint32_t &value) {
  if (Remaining(cursor) < 4) {
    Fail(cursor, what, cursor.offset,
         "record cut short, " + std::to_string(Remaining(cursor)) +
             " of 4 bytes");
    return false;
  }
  const auto *bytes =
      reinterpret_cast<const unsigned char *>(cursor.packet.data()) +
      cursor.offset;
  value = static_cast<std::uint32_t>(bytes[0]) |
          static_cast<std::uint32_t>(bytes[1]) << 8 |
          static_cast<std::uint32_t>(bytes[2]) << 16 |
          static_cast<std::uint32_t>(bytes[3]) << 24;
  cursor.offset += 4;
  return true;
}

bool ReadString(Cursor &cursor, const std::string &what, std::string &out) {
  const std::size_t start = cursor.offset;
  std::uint32_t length = 0;
  if (!ReadUInt32(cursor, what + " length", length)) return false;
  if (Remaining(cursor) < length) {
    Fail(cursor, what, start,
         "length " + std::to_string(length) + " runs past the end, " +
             std::to_string(Remaining(cursor)) + " bytes remain");
    return false;
  }
  out.assign(cursor.packet.substr(cursor.offset, length));
  cursor.offset += length;
  return true;
}

bool ReadEntries(Cursor &cursor, const std::string &kind,
                 std::vector<std::string> &entries) {
  const std::size_t start = cursor.offset;
  std::uint32_t count = 0;
  if (!ReadUInt32(cursor, kind + " count", count)) return false;
  // Each entry takes at least its 4-byte length.
  if (Remaining(cursor) / 4 < count) {
    Fail(cursor, kind + " count", start,
         std::to_string(count) + " entries cannot fit in the " +
             std::to_string(Remaining(cursor)) + " bytes that remain");
    return false;
  }
  entries.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string what =
        kind + " " + std::to_string(i + 1) + " of " + std::to_string(count);
    if (!ReadString(cursor, what, entries[i])) return false;
  }
  return true;
}

}  // namespace

PacketReadResult ReadMailPacket(std::string_view packet) {
  Cursor cursor{packet, 0, {}};
  ReceivedMail mail;
  const bool read = ReadString(cursor, "subject", mail.subject) &&
                    ReadString(cursor, "note text", mail.note_text) &&
                    ReadEntries(cursor, "recipient", mail.recipients) &&
                    ReadEntries(cursor, "attachment", mail.attachments);
  if (!read) return {std::nullopt, cursor.error};
  if (Remaining(cursor) != 0) {
    Fail(cursor, "end of packet", cursor.offset,
         std::to_string(Remaining(cursor)) + " bytes left over");
    return {std::nullopt, cursor.error};
  }
  return {std::move(mail), {}};
}

}  // namespace quillory

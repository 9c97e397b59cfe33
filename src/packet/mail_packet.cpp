#include "mail_packet.h"

#include <stdint.h>

#include "text_rules.h"

namespace quillory {

namespace {

// The packet's length, counted before anything is written. Fails for a
// string too long for its 32-bit length, or a whole too large for memory.
struct PacketSize {
  uint64_t bytes = 0;
  bool fits = true;

  void Add(uint64_t count) {
    if (count > kLimit - bytes) {
      fits = false;
    } else {
      bytes += count;
    }
  }
  void AddString(uint64_t count) {
    if (count > PACKET_MAX_STRING_BYTES) fits = false;
    Add(4);
    Add(count);
  }

  static constexpr uint64_t kLimit = PTRDIFF_MAX;
};

// A count without its array is read as an empty array, so that the count
// written always matches the entries that follow.
uint32_t RecipientCount(const MapiMessage &message) {
  return message.lpRecips != nullptr ? message.nRecipCount : 0;
}

uint32_t FileCount(const MapiMessage &message) {
  return message.lpFiles != nullptr ? message.nFileCount : 0;
}

// An absent path still takes its place, as an empty one.
TextView PathOf(const MapiFileDesc &file) { return {file.lpszPathName}; }

}  // namespace

// Sized first, then every record written straight into one buffer of that
// size: no copy of the note, no string per recipient. The caller's texts
// are read twice, so the second pass trusts only what it reads itself.
PacketBuild BuildMailPacket(const MapiMessage &message, const Memory &memory) {
  const TextView subject(message.lpszSubject);  // null reads as empty
  const NoteScan note_scan = ScanNote(message.lpszNoteText);
  const TextView note = note_scan.text;
  const LineBreakPlan &note_plan = note_scan.plan;
  const uint32_t recip_count = RecipientCount(message);
  const uint32_t file_count = FileCount(message);

  PacketSize size;
  size.AddString(subject.size());
  size.AddString(note_plan.size);
  size.Add(4);
  for (uint32_t i = 0; i < recip_count && size.fits; ++i) {
    size.AddString(FormattedSize(ReadRecipient(message.lpRecips[i])));
  }
  size.Add(4);
  for (uint32_t i = 0; i < file_count && size.fits; ++i) {
    size.AddString(PathOf(message.lpFiles[i]).size());
  }
  // A packet with a record left out would be read out of step.
  if (!size.fits) return {PacketStatus::kTooLong, Packet()};

  PacketWriter writer(memory);
  if (!writer.ReserveExactly(static_cast<size_t>(size.bytes))) {
    return {PacketStatus::kOutOfMemory, Packet()};
  }
  writer.PutString(subject);
  char *note_at = writer.PutStringSpace(static_cast<size_t>(note_plan.size));
  if (note_at != nullptr) WriteLineBreaks(note, note_plan, note_at);
  writer.PutUInt32(recip_count);
  for (uint32_t i = 0; i < recip_count; ++i) {
    const RecipientParts parts = ReadRecipient(message.lpRecips[i]);
    const uint64_t entry = FormattedSize(parts);
    if (entry > PACKET_MAX_STRING_BYTES)
      return {PacketStatus::kTooLong, Packet()};
    char *at = writer.PutStringSpace(static_cast<size_t>(entry));
    if (at != nullptr) WriteRecipient(parts, at);
  }
  writer.PutUInt32(file_count);
  for (uint32_t i = 0; i < file_count; ++i) {
    if (writer.PutString(PathOf(message.lpFiles[i])) == 0) {
      return {PacketStatus::kTooLong, Packet()};
    }
  }
  Packet packet = writer.Finish();
  if (packet.data() == nullptr) return {PacketStatus::kOutOfMemory, Packet()};
  return {PacketStatus::kBuilt, static_cast<Packet &&>(packet)};
}

}  // namespace quillory

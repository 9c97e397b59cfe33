#include "packet/mail_packet.h"

#include <stdint.h>

#include "packet/packet_writer.h"
#include "packet/text_rules.h"

namespace quillory {

Packet &Packet::operator=(Packet &&other) noexcept {
  if (this != &other) {
    Release();
    allocator_ = other.allocator_;
    bytes_ = other.bytes_;
    size_ = other.size_;
    other.bytes_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void Packet::Release() {
  if (bytes_ != nullptr) allocator_.release(allocator_.context, bytes_);
  bytes_ = nullptr;
  size_ = 0;
}

namespace {

// What both passes take from the message as read once: the note's scan is
// the one costly read of a large message.
struct MessageParts {
  TextView subject;  // null reads as empty
  NoteScan note;
  uint32_t recip_count;
  uint32_t file_count;
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

// The packet's records, in order: the one description of the packet, run
// through a counting writer and then through a writing one. Once the
// writer refuses a record, the rest of the packet is not read.
void PutRecords(PacketWriter &writer, const MapiMessage &message,
                const MessageParts &parts) {
  writer.PutString(parts.subject);
  char *note = writer.PutStringSpace(parts.note.plan.size);
  if (note != nullptr) WriteLineBreaks(parts.note.text, parts.note.plan, note);
  writer.PutUInt32(parts.recip_count);
  for (uint32_t i = 0; i < parts.recip_count && writer.Fits(); ++i) {
    const RecipientParts recipient = ReadRecipient(message.lpRecips[i]);
    char *entry = writer.PutStringSpace(FormattedSize(recipient));
    if (entry != nullptr) WriteRecipient(recipient, entry);
  }
  writer.PutUInt32(parts.file_count);
  for (uint32_t i = 0; i < parts.file_count && writer.Fits(); ++i) {
    writer.PutString(PathOf(message.lpFiles[i]));
  }
}

}  // namespace

// Counted first, then every record written straight into one block of
// exactly that size: no copy of the note, no string per recipient, one
// allocation.
PacketBuild BuildMailPacket(const MapiMessage &message,
                            const Allocator &allocator) {
  const MessageParts parts{TextView(message.lpszSubject),
                           ScanNote(message.lpszNoteText),
                           RecipientCount(message), FileCount(message)};
  PacketWriter counter;
  PutRecords(counter, message, parts);
  if (!counter.Fits()) return {PacketStatus::kTooLong, Packet()};

  const auto size = static_cast<size_t>(counter.Size());
  // An empty packet still gets storage of its own, so that data() is
  // never null for a packet that was built.
  auto *storage = static_cast<char *>(
      allocator.allocate(allocator.context, size != 0 ? size : 1));
  if (storage == nullptr) return {PacketStatus::kOutOfMemory, Packet()};
  PacketWriter writer(storage, size);
  PutRecords(writer, message, parts);
  // The caller's texts are read again here: one that grew since it was
  // counted (changed meanwhile by another of its threads) is refused at
  // the storage's end, never written past it.
  if (!writer.Fits()) {
    allocator.release(allocator.context, storage);
    return {PacketStatus::kTooLong, Packet()};
  }
  return {PacketStatus::kBuilt,
          Packet(allocator, storage, static_cast<size_t>(writer.Size()))};
}

}  // namespace quillory

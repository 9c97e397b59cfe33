#ifndef QUILLORY_PACKET_WRITER_H
#define QUILLORY_PACKET_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillory {

// Zero-filled reserve added ahead of the cursor whenever a write finds the
// buffer too short.
inline constexpr std::size_t PACKET_GROW_STEP = 20000;

// Longest string a record's 32-bit length can give.
inline constexpr std::uint64_t PACKET_MAX_STRING_BYTES = 0xFFFFFFFFu;

// Writes the two record kinds of a MailPacket: a 32-bit little-endian
// integer, and a string as its 32-bit byte count followed by the bytes.
class PacketWriter {
 public:
  // Always 1.
  int PutUInt32(std::uint32_t value) {
    GrowIfShort(4, 0);
    WriteUInt32(Advance(4, 0), value);
    return 1;
  }
  // 1 when written; 0, with nothing written, for 2^32 bytes or more.
  int PutString(std::string_view bytes);
  // A string record of count bytes that the caller fills in at the address
  // returned, before the next write: lets a text rule write its result
  // straight into the packet. Null, with nothing written, for 2^32 bytes or
  // more.
  char *PutStringSpace(std::size_t count) {
    if (static_cast<std::uint64_t>(count) > PACKET_MAX_STRING_BYTES) {
      return nullptr;
    }
    GrowIfShort(4, count);
    char *at = Advance(4, count);
    WriteUInt32(at, static_cast<std::uint32_t>(count));
    return at + 4;
  }
  // Storage for a packet of exactly this size, taken at once, so that no
  // later write moves what is written. A hint only: writes past it still
  // land.
  void ReserveExactly(std::size_t packet_size);
  // The packet: exactly the records written, in order. Ends the writer's use.
  std::string Finish();

  // Buffer size including the reserve, and bytes written so far.
  [[nodiscard]] std::size_t Size() const { return size_; }
  [[nodiscard]] std::size_t Cursor() const { return cursor_; }

 private:
  // Inline, with the rare paths out of line: a packet of many small
  // records spends its time here.

  // One step of reserve when the record does not fit, however large it is;
  // the write then extends the buffer by whatever still does not fit.
  // Taken as head and body so that the sum cannot wrap on 32-bit targets.
  void GrowIfShort(std::size_t head, std::size_t body) {
    const std::size_t room = size_ - cursor_;
    if (room < head || room - head < body) size_ += PACKET_GROW_STEP;
  }

  // Where the next head + body bytes go; the cursor moves past them.
  char *Advance(std::size_t head, std::size_t body) {
    const std::size_t room = storage_.size() - cursor_;
    if (room < head || room - head < body) GrowStorage(head, body);
    char *at = &storage_[cursor_];
    cursor_ += head;
    cursor_ += body;
    if (cursor_ > size_) size_ = cursor_;
    return at;
  }

  static void WriteUInt32(char *at, std::uint32_t value) {
    at[0] = static_cast<char>(value & 0xFFu);
    at[1] = static_cast<char>((value >> 8) & 0xFFu);
    at[2] = static_cast<char>((value >> 16) & 0xFFu);
    at[3] = static_cast<char>((value >> 24) & 0xFFu);
  }

  void GrowStorage(std::size_t head, std::size_t body);
  void EnsureCapacity(std::size_t size);

  // The bytes written, then zeros: the reserve that storage already holds.
  std::string storage_;
  // Buffer size by the step rule. The reserve it promises is bookkeeping
  // only: storage follows what is written, so a packet never costs more
  // than its own bytes plus the storage's doubling (none when reserved
  // exactly).
  std::size_t size_ = 0;
  // size_t, not a 32-bit int: a cursor that wraps past 2 GiB would write
  // over the packet's start.
  std::size_t cursor_ = 0;
};

}  // namespace quillory

#endif

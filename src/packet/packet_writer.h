#ifndef QUILLORY_PACKET_WRITER_H
#define QUILLORY_PACKET_WRITER_H

#include <stddef.h>
#include <stdint.h>

#include "memory.h"
#include "text_view.h"

namespace quillory {

// Zero-filled reserve added ahead of the cursor whenever a write finds the
// buffer too short.
inline constexpr size_t PACKET_GROW_STEP = 20000;

// Longest string a record's 32-bit length can give.
inline constexpr uint64_t PACKET_MAX_STRING_BYTES = 0xFFFFFFFFu;

// The bytes of a finished packet, released with the storage they came from
// when it goes. Move-only.
class Packet {
 public:
  Packet() = default;
  Packet(const Memory &memory, char *bytes, size_t size)
      : memory_(memory), bytes_(bytes), size_(size) {}
  Packet(Packet &&other) noexcept
      : memory_(other.memory_), bytes_(other.bytes_), size_(other.size_) {
    other.bytes_ = nullptr;
    other.size_ = 0;
  }
  Packet &operator=(Packet &&other) noexcept;
  Packet(const Packet &) = delete;
  Packet &operator=(const Packet &) = delete;
  ~Packet() { Release(); }

  [[nodiscard]] const char *data() const { return bytes_; }
  [[nodiscard]] size_t size() const { return size_; }

 private:
  void Release();

  Memory memory_{};
  char *bytes_ = nullptr;
  size_t size_ = 0;
};

// Writes the two record kinds of a MailPacket: a 32-bit little-endian
// integer, and a string as its 32-bit byte count followed by the bytes.
// Storage that cannot be had is no exception: the writer then writes
// nothing more, Failed() says so, and Finish() yields no packet.
class PacketWriter {
 public:
  explicit PacketWriter(const Memory &memory) : memory_(memory) {}
  PacketWriter(const PacketWriter &) = delete;
  PacketWriter &operator=(const PacketWriter &) = delete;
  ~PacketWriter();

  // Always 1.
  int PutUInt32(uint32_t value) {
    GrowIfShort(4, 0);
    char *at = Advance(4, 0);
    if (at != nullptr) WriteUInt32(at, value);
    return 1;
  }
  // 1 when written (or when storage failed); 0, with nothing written, for
  // 2^32 bytes or more.
  int PutString(TextView bytes);
  // A string record of count bytes that the caller fills in at the address
  // returned, before the next write: lets a text rule write its result
  // straight into the packet. Null, with nothing written, for 2^32 bytes or
  // more, or when storage failed.
  char *PutStringSpace(size_t count) {
    if (static_cast<uint64_t>(count) > PACKET_MAX_STRING_BYTES) return nullptr;
    GrowIfShort(4, count);
    char *at = Advance(4, count);
    if (at == nullptr) return nullptr;
    WriteUInt32(at, static_cast<uint32_t>(count));
    return at + 4;
  }
  // Storage for a packet of exactly this size, taken at once, so that no
  // later write moves what is written; every byte of it must then be
  // written. A hint only: writes past it still land. False when the
  // storage cannot be had.
  bool ReserveExactly(size_t packet_size);
  // True once storage could not be had: the packet is incomplete.
  [[nodiscard]] bool Failed() const { return failed_; }
  // The packet: exactly the records written, in order; no packet (null
  // data) after a failure. Ends the writer's use.
  Packet Finish();

  // Buffer size including the reserve, and bytes written so far.
  [[nodiscard]] size_t Size() const { return size_; }
  [[nodiscard]] size_t Cursor() const { return cursor_; }

 private:
  // Inline, with the rare paths out of line: a packet of many small
  // records spends its time here.

  // One step of reserve when the record does not fit, however large it is;
  // the write then extends the buffer by whatever still does not fit.
  // Taken as head and body so that the sum cannot wrap on 32-bit targets.
  void GrowIfShort(size_t head, size_t body) {
    const size_t room = size_ - cursor_;
    if (room < head || room - head < body) size_ += PACKET_GROW_STEP;
  }

  // Where the next head + body bytes go; the cursor moves past them. Null, and
  // the writer failed, when storage cannot be had.
  char *Advance(size_t head, size_t body) {
    if (failed_) return nullptr;
    const size_t room = used_ - cursor_;
    if ((room < head || room - head < body) && !GrowStorage(head, body)) {
      return nullptr;
    }
    char *at = storage_ + cursor_;
    cursor_ += head;
    cursor_ += body;
    if (cursor_ > size_) size_ = cursor_;
    return at;
  }

  static void WriteUInt32(char *at, uint32_t value) {
    at[0] = static_cast<char>(value & 0xFFu);
    at[1] = static_cast<char>((value >> 8) & 0xFFu);
    at[2] = static_cast<char>((value >> 16) & 0xFFu);
    at[3] = static_cast<char>((value >> 24) & 0xFFu);
  }

  bool GrowStorage(size_t head, size_t body);
  bool EnsureCapacity(size_t size);
  bool MoveStorage(size_t capacity);
  void Fail();

  Memory memory_;
  // capacity_ bytes, of which used_ are taken: written, zero-filled by a
  // growth, or reserved exactly to be written.
  char *storage_ = nullptr;
  size_t capacity_ = 0;
  size_t used_ = 0;
  // Buffer size by the step rule. The reserve it promises is bookkeeping
  // only: storage follows what is written, so a packet never costs more
  // than its own bytes plus the storage's doubling (none when reserved
  // exactly).
  size_t size_ = 0;
  // size_t, not a 32-bit int: a cursor that wraps past 2 GiB would write
  // over the packet's start.
  size_t cursor_ = 0;
  bool failed_ = false;
};

}  // namespace quillory

#endif

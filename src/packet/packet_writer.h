#ifndef QUILLORY_PACKET_WRITER_H
#define QUILLORY_PACKET_WRITER_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "packet/text_view.h"

namespace quillory {

// Longest string a record's 32-bit length can give.
inline constexpr uint64_t PACKET_MAX_STRING_BYTES = 0xFFFFFFFFu;

// Writes the two record kinds of a MailPacket: a 32-bit little-endian
// integer, and a string as its 32-bit byte count followed by the bytes.
// Without storage it only counts them, so that one description of the
// records both sizes a packet and writes it: run through a counting
// writer, then through one given storage of exactly the size counted.
// Every record is checked here, once: a string of 2^32 bytes or more, a
// packet larger than memory can hold, or a record that does not fit the
// storage left is refused, nothing of it is written, and Fits() turns
// false for good.
class PacketWriter {
 public:
  // Counts.
  PacketWriter() = default;
  // Writes into the size bytes at storage.
  PacketWriter(char *storage, size_t size) : out_(storage), room_(size) {}

  void PutUInt32(uint32_t value) {
    char *at = Take(4);
    if (at != nullptr) WriteUInt32(at, value);
  }
  // 1 when written (or counted); 0, with nothing written, when refused.
  int PutString(TextView bytes) {
    char *at = PutStringSpace(bytes.size());
    if (at != nullptr && !bytes.empty()) {
      memcpy(at, bytes.data(), bytes.size());
    }
    return fits_ ? 1 : 0;
  }
  // A string record of count bytes that the caller fills in at the address
  // returned, before the next write: lets a text rule write its result
  // straight into the packet. Null when counting, or when refused.
  char *PutStringSpace(uint64_t count) {
    if (count > PACKET_MAX_STRING_BYTES) {
      fits_ = false;
      return nullptr;
    }
    char *at = Take(4 + count);
    if (at == nullptr) return nullptr;
    WriteUInt32(at, static_cast<uint32_t>(count));
    return at + 4;
  }

  // Whether every record so far was taken.
  [[nodiscard]] bool Fits() const { return fits_; }
  // Bytes counted or written so far.
  [[nodiscard]] uint64_t Size() const { return size_; }

 private:
  // As much as one block of storage can be: what malloc takes, and what
  // a pointer difference can span.
  static constexpr uint64_t PACKET_MAX_BYTES = PTRDIFF_MAX;

  // Where the next count bytes go, or null when counting or refused.
  char *Take(uint64_t count) {
    if (!fits_) return nullptr;
    // Counting and writing refuse alike; the writing pass also stops at
    // its storage's end, should the caller's texts have grown since they
    // were counted.
    if (count > PACKET_MAX_BYTES - size_ ||
        (out_ != nullptr && count > room_ - size_)) {
      fits_ = false;
      return nullptr;
    }
    char *at = out_ != nullptr ? out_ + static_cast<size_t>(size_) : nullptr;
    size_ += count;
    return at;
  }

  static void WriteUInt32(char *at, uint32_t value) {
    at[0] = static_cast<char>(value & 0xFFu);
    at[1] = static_cast<char>((value >> 8) & 0xFFu);
    at[2] = static_cast<char>((value >> 16) & 0xFFu);
    at[3] = static_cast<char>((value >> 24) & 0xFFu);
  }

  char *out_ = nullptr;
  uint64_t room_ = 0;
  // 64-bit on every target: a 32-bit size that wraps past 4 GiB would
  // count a packet too large for memory as a small one.
  uint64_t size_ = 0;
  bool fits_ = true;
};

}  // namespace quillory

#endif

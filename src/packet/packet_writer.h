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

// Writes the two record kinds of a MailPacket: a 32-bit little-endian
// integer, and a string as its 32-bit byte count followed by the bytes.
class PacketWriter {
 public:
  // Always 1.
  int PutUInt32(std::uint32_t value);
  // 1 when written; 0, with nothing written, for 2^32 bytes or more.
  int PutString(std::string_view bytes);
  // The packet: exactly the records written, in order. Ends the writer's use.
  std::string Finish();

  // Buffer size including the reserve, and bytes written so far.
  [[nodiscard]] std::size_t Size() const { return buffer_.size(); }
  [[nodiscard]] std::size_t Cursor() const { return cursor_; }

 private:
  void GrowIfShort(std::size_t head, std::size_t body);
  void WriteAtCursor(const char *bytes, std::size_t count);
  void WriteUInt32AtCursor(std::uint32_t value);
  void EnsureCapacity(std::size_t size);

  std::string buffer_;
  // size_t, not a 32-bit int: a cursor that wraps past 2 GiB would write
  // over the packet's start.
  std::size_t cursor_ = 0;
};

}  // namespace quillory

#endif

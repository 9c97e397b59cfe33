#include "packet_writer.h"

#include <cstring>
#include <utility>

namespace quillory {

namespace {
constexpr std::uint64_t kMaxStringBytes = 0xFFFFFFFFu;
}

// The step rule only decides the reserve; the storage below it doubles, so
// that a packet of any size costs amortised linear time to build. Storage
// taken for one large record keeps a step to spare, so that the small
// record after it does not double (and copy) the whole packet.
void PacketWriter::EnsureCapacity(std::size_t size) {
  const std::size_t capacity = buffer_.capacity();
  if (capacity >= size) return;
  const std::size_t limit = buffer_.max_size();
  const std::size_t doubled = capacity > limit / 2 ? limit : capacity * 2;
  const std::size_t spare =
      size > limit - PACKET_GROW_STEP ? limit : size + PACKET_GROW_STEP;
  buffer_.reserve(spare > doubled ? spare : doubled);
}

// One step of reserve when the record does not fit, however large it is;
// the write then extends the buffer by whatever still does not fit. Taken
// as head and body so that the sum cannot wrap on 32-bit targets.
void PacketWriter::GrowIfShort(std::size_t head, std::size_t body) {
  const std::size_t room = buffer_.size() - cursor_;
  if (room >= head && room - head >= body) return;
  EnsureCapacity(buffer_.size() + PACKET_GROW_STEP);
  buffer_.resize(buffer_.size() + PACKET_GROW_STEP, '\0');
}

void PacketWriter::WriteAtCursor(const char *bytes, std::size_t count) {
  const std::size_t room = buffer_.size() - cursor_;
  const std::size_t inside = count < room ? count : room;
  if (inside != 0) std::memcpy(&buffer_[cursor_], bytes, inside);
  if (inside < count) {
    EnsureCapacity(cursor_ + count);
    buffer_.append(bytes + inside, count - inside);
  }
  cursor_ += count;
}

void PacketWriter::WriteUInt32AtCursor(std::uint32_t value) {
  const char bytes[4] = {
      static_cast<char>(value & 0xFFu),
      static_cast<char>((value >> 8) & 0xFFu),
      static_cast<char>((value >> 16) & 0xFFu),
      static_cast<char>((value >> 24) & 0xFFu),
  };
  WriteAtCursor(bytes, sizeof bytes);
}

int PacketWriter::PutUInt32(std::uint32_t value) {
  GrowIfShort(4, 0);
  WriteUInt32AtCursor(value);
  return 1;
}

int PacketWriter::PutString(std::string_view bytes) {
  if (static_cast<std::uint64_t>(bytes.size()) > kMaxStringBytes) return 0;
  GrowIfShort(4, bytes.size());
  WriteUInt32AtCursor(static_cast<std::uint32_t>(bytes.size()));
  if (!bytes.empty()) WriteAtCursor(bytes.data(), bytes.size());
  return 1;
}

std::string PacketWriter::Finish() {
  buffer_.resize(cursor_);
  cursor_ = 0;
  return std::move(buffer_);
}

}  // namespace quillory

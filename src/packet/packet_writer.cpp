#include "packet_writer.h"

#include <cstring>
#include <utility>

namespace quillory {

// Storage doubles, so that a packet of unknown size costs amortised linear
// time; storage taken for one large record keeps a step to spare, so that
// the small record after it does not double (and copy) the whole packet.
void PacketWriter::EnsureCapacity(std::size_t size) {
  const std::size_t capacity = storage_.capacity();
  if (capacity >= size) return;
  const std::size_t limit = storage_.max_size();
  const std::size_t doubled = capacity > limit / 2 ? limit : capacity * 2;
  const std::size_t spare =
      size > limit - PACKET_GROW_STEP ? limit : size + PACKET_GROW_STEP;
  storage_.reserve(spare > doubled ? spare : doubled);
}

// Zero-filled storage for the head + body bytes past the cursor that it
// lacks. Sums saturate: a request past the limit fails in append.
void PacketWriter::GrowStorage(std::size_t head, std::size_t body) {
  const std::size_t used = storage_.size();
  const std::size_t room = used - cursor_;
  const std::size_t limit = storage_.max_size();
  std::size_t more = 0;
  if (head > room) {
    more = body > limit - (head - room) ? limit : head - room + body;
  } else {
    more = body - (room - head);
  }
  EnsureCapacity(more > limit - used ? limit : used + more);
  storage_.append(more, '\0');
}

void PacketWriter::ReserveExactly(std::size_t packet_size) {
  if (packet_size <= storage_.size()) return;
  storage_.reserve(packet_size);
  storage_.resize(packet_size, '\0');
}

int PacketWriter::PutString(std::string_view bytes) {
  char *at = PutStringSpace(bytes.size());
  if (at == nullptr) return 0;
  if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
  return 1;
}

std::string PacketWriter::Finish() {
  storage_.resize(cursor_);
  cursor_ = 0;
  size_ = 0;
  return std::move(storage_);
}

}  // namespace quillory

#include "packet_writer.h"

#include <string.h>

namespace quillory {

Packet &Packet::operator=(Packet &&other) noexcept {
  if (this != &other) {
    Release();
    memory_ = other.memory_;
    bytes_ = other.bytes_;
    size_ = other.size_;
    other.bytes_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void Packet::Release() {
  if (bytes_ != nullptr) memory_.release(memory_.context, bytes_);
  bytes_ = nullptr;
  size_ = 0;
}

PacketWriter::~PacketWriter() {
  if (storage_ != nullptr) memory_.release(memory_.context, storage_);
}

void PacketWriter::Fail() {
  if (storage_ != nullptr) memory_.release(memory_.context, storage_);
  storage_ = nullptr;
  capacity_ = 0;
  used_ = 0;
  failed_ = true;
}

// Storage doubles, so that a packet of unknown size costs amortised linear
// time; storage taken for one large record keeps a step to spare, so that
// the small record after it does not double (and copy) the whole packet.
bool PacketWriter::EnsureCapacity(size_t size) {
  if (capacity_ >= size) return true;
  const size_t limit = PTRDIFF_MAX;
  if (size > limit) return false;
  const size_t doubled = capacity_ > limit / 2 ? limit : capacity_ * 2;
  const size_t spare =
      size > limit - PACKET_GROW_STEP ? limit : size + PACKET_GROW_STEP;
  return MoveStorage(spare > doubled ? spare : doubled);
}

// Storage of capacity bytes, holding what was taken of the old; false,
// with the old kept, when it cannot be had.
bool PacketWriter::MoveStorage(size_t capacity) {
  auto *storage =
      static_cast<char *>(memory_.allocate(memory_.context, capacity));
  if (storage == nullptr) return false;
  if (storage_ != nullptr) {
    memcpy(storage, storage_, used_);
    memory_.release(memory_.context, storage_);
  }
  storage_ = storage;
  capacity_ = capacity;
  return true;
}

// Zero-filled storage for the head + body bytes past the cursor that it
// lacks. A request past what memory can hold fails.
bool PacketWriter::GrowStorage(size_t head, size_t body) {
  const size_t room = used_ - cursor_;
  const size_t limit = PTRDIFF_MAX;
  size_t more = 0;
  if (head > room) {
    if (body > limit - (head - room)) {
      Fail();
      return false;
    }
    more = head - room + body;
  } else {
    more = body - (room - head);
  }
  if (more > limit - used_ || !EnsureCapacity(used_ + more)) {
    Fail();
    return false;
  }
  memset(storage_ + used_, 0, more);
  used_ += more;
  return true;
}

bool PacketWriter::ReserveExactly(size_t packet_size) {
  if (failed_) return false;
  if (packet_size <= used_) return true;
  if (capacity_ < packet_size && !MoveStorage(packet_size)) {
    Fail();
    return false;
  }
  // Not zero-filled: every byte of it is written before the packet is
  // handed over, and a whole pass over a large packet would cost as much
  // as writing it.
  used_ = packet_size;
  return true;
}

int PacketWriter::PutString(TextView bytes) {
  if (static_cast<uint64_t>(bytes.size()) > PACKET_MAX_STRING_BYTES) return 0;
  char *at = PutStringSpace(bytes.size());
  if (at != nullptr && !bytes.empty()) memcpy(at, bytes.data(), bytes.size());
  return 1;
}

Packet PacketWriter::Finish() {
  if (failed_) return {};
  // An empty packet still gets storage of its own, so that data() is
  // never null for a packet that was built.
  if (storage_ == nullptr && !MoveStorage(1)) {
    Fail();
    return {};
  }
  Packet packet(memory_, storage_, cursor_);
  storage_ = nullptr;
  capacity_ = 0;
  used_ = 0;
  cursor_ = 0;
  size_ = 0;
  return packet;
}

}  // namespace quillory

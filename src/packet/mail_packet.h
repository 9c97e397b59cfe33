#ifndef QUILLORY_MAIL_PACKET_H
#define QUILLORY_MAIL_PACKET_H

#include <stddef.h>

#include "packet/allocator.h"
#include "simple_mapi.h"

namespace quillory {

// The bytes of a finished packet, released with the storage they came from
// when it goes. Move-only.
class Packet {
 public:
  Packet() = default;
  Packet(const Allocator &allocator, char *bytes, size_t size)
      : allocator_(allocator), bytes_(bytes), size_(size) {}
  Packet(Packet &&other) noexcept
      : allocator_(other.allocator_), bytes_(other.bytes_), size_(other.size_) {
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

  Allocator allocator_{};
  char *bytes_ = nullptr;
  size_t size_ = 0;
};

enum class PacketStatus {
  kBuilt,
  // A text too long for the format's 32-bit lengths, or a whole too large
  // for memory: a packet with a record left out would be read out of step.
  kTooLong,
  // The packet's storage could not be had.
  kOutOfMemory,
};

struct PacketBuild {
  PacketStatus status;
  // The packet when built; no bytes otherwise.
  Packet packet;
};

// The MailPacket for message: subject, note text with CR LF line breaks,
// recipient count and entries in display form, attachment count and paths,
// in storage from allocator.
PacketBuild BuildMailPacket(const MapiMessage &message,
                            const Allocator &allocator);

}  // namespace quillory

#endif

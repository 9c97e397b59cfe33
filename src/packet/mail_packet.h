#ifndef QUILLORY_MAIL_PACKET_H
#define QUILLORY_MAIL_PACKET_H

#include "packet_writer.h"
#include "simple_mapi.h"

namespace quillory {

enum class PacketStatus {
  kBuilt,
  // A text too long for the format's 32-bit lengths: a packet with a
  // record left out would be read out of step.
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
// in storage from memory.
PacketBuild BuildMailPacket(const MapiMessage &message, const Memory &memory);

}  // namespace quillory

#endif

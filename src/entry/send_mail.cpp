#include "send_mail.h"

#include "packet/mail_packet.h"

namespace quillory {

ULONG SendMail(const MapiMessage *message, const HandOffPlatform &platform,
               const Memory &memory) {
  if (message == nullptr) return MAPI_E_FAILURE;
  // The whole message is packed before anything is looked up or started.
  const PacketBuild built = BuildMailPacket(*message, memory);
  switch (built.status) {
    case PacketStatus::kBuilt:
      break;
    case PacketStatus::kOutOfMemory:
      return MAPI_E_INSUFFICIENT_MEMORY;
    case PacketStatus::kTooLong:
      return MAPI_E_FAILURE;
  }
  // The packet is released when built goes, after the send.
  return HandOffToClient(platform, built.packet.data(), built.packet.size())
             ? SUCCESS_SUCCESS
             : MAPI_E_FAILURE;
}

}  // namespace quillory

#include "entry/send_mail.h"

#include "packet/mail_packet.h"

namespace quillory {

SendMailResult SendMail(const MapiMessage *message,
                        const HandOffPlatform &platform,
                        const Allocator &allocator) {
  SendMailResult result;
  result.code = MAPI_E_FAILURE;
  result.packet_size = 0;
  result.hand_off.system_error = 0;
  result.hand_off.process_id = 0;
  result.hand_off.client_path[0] = L'\0';
  if (message == nullptr) {
    result.outcome = Outcome::kNoMessage;
    return result;
  }
  // The whole message is packed before anything is looked up or started.
  const PacketBuild built = BuildMailPacket(*message, allocator);
  switch (built.status) {
    case PacketStatus::kBuilt:
      break;
    case PacketStatus::kOutOfMemory:
      result.code = MAPI_E_INSUFFICIENT_MEMORY;
      result.outcome = Outcome::kOutOfMemory;
      return result;
    case PacketStatus::kTooLong:
      result.outcome = Outcome::kTooLarge;
      return result;
  }
  // The packet is released when built goes, after the send.
  result.packet_size = built.packet.size();
  result.outcome = HandOffToClient(platform, built.packet.data(),
                                   built.packet.size(), &result.hand_off);
  if (result.outcome == Outcome::kDelivered) result.code = SUCCESS_SUCCESS;
  return result;
}

}  // namespace quillory

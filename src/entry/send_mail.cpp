#include "send_mail.h"

#include <new>
#include <optional>
#include <string>

#include "mail_packet.h"

namespace quillory {

ULONG SendMail(const MapiMessage *message, const HandOffPlatform &platform) {
  if (message == nullptr) return MAPI_E_FAILURE;
  // An exception must not unwind into the caller's frames, which may not
  // even be C++.
  try {
    // The whole message is packed before anything is looked up or started.
    const std::optional<std::string> packet = BuildMailPacket(*message);
    if (!packet) return MAPI_E_FAILURE;
    return HandOffToClient(platform, *packet) ? SUCCESS_SUCCESS
                                              : MAPI_E_FAILURE;
  } catch (const std::bad_alloc &) {
    return MAPI_E_INSUFFICIENT_MEMORY;
  } catch (...) {
    return MAPI_E_FAILURE;
  }
}

}  // namespace quillory

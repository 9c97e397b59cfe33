#ifndef QUILLORY_MAIL_PACKET_H
#define QUILLORY_MAIL_PACKET_H

#include <optional>
#include <string>

#include "simple_mapi.h"

namespace quillory {

// The MailPacket for message: subject, note text with CR LF line breaks,
// recipient count and entries in display form, attachment count and paths.
// No packet when a text is too long for the format's 32-bit lengths: a
// packet with a record left out would be read out of step.
// May throw std::bad_alloc.
std::optional<std::string> BuildMailPacket(const MapiMessage &message);

}  // namespace quillory

#endif

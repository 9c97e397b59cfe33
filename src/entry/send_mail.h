#ifndef QUILLORY_SEND_MAIL_H
#define QUILLORY_SEND_MAIL_H

#include "handoff.h"
#include "simple_mapi.h"
#include "text_view.h"

namespace quillory {

// The work of MAPISendMail over a given platform, the packet's storage
// taken from memory. Throws nothing and needs no C++ runtime: every
// failure is a result.
ULONG SendMail(const MapiMessage *message, const HandOffPlatform &platform,
               const Memory &memory);

}  // namespace quillory

#endif

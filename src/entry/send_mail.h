#ifndef QUILLORY_SEND_MAIL_H
#define QUILLORY_SEND_MAIL_H

#include "handoff.h"
#include "simple_mapi.h"

namespace quillory {

// The work of MAPISendMail over a given platform. Never throws.
ULONG SendMail(const MapiMessage *message, const HandOffPlatform &platform);

}  // namespace quillory

#endif

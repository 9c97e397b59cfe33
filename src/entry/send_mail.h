#ifndef QUILLORY_SEND_MAIL_H
#define QUILLORY_SEND_MAIL_H

#include "handoff/handoff.h"
#include "packet/allocator.h"
#include "simple_mapi.h"

// For the exported entry: 32-bit callers from other compilers may enter
// with the stack aligned to 4 bytes only, and the note's vector paths
// (packet/text_paths.inc) keep 16- and 32-byte values on it. (clang, which
// builds the DLL, assumes only 4 bytes on 32-bit Windows anyway and realigns
// any function that needs more; gcc, which builds the 32-bit tests,
// assumes 16.)
#if defined(__i386__)
#define QUILLORY_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define QUILLORY_REALIGN_STACK
#endif

namespace quillory {

// What a call returns, and why, for its log. Nothing of the message's
// content is in it.
struct SendMailResult {
  ULONG code;
  Outcome outcome;
  // The packet's length; 0 when none was built.
  size_t packet_size;
  HandOffFacts hand_off;
};

// The work of MAPISendMail over a given platform, the packet's storage
// taken from allocator. Throws nothing and needs no C++ runtime: every
// failure is a result.
SendMailResult SendMail(const MapiMessage *message,
                        const HandOffPlatform &platform,
                        const Allocator &allocator);

}  // namespace quillory

#endif

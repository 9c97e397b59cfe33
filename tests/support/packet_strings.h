#ifndef QUILLORY_PACKET_STRINGS_H
#define QUILLORY_PACKET_STRINGS_H

// The packet's rules over std::string, for the tests, the tools and the
// client's side; never linked into the DLL, which has no C++ runtime.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "packet/text_rules.h"
#include "simple_mapi.h"

namespace quillory {

// Byte operations on 8-bit text; no character set is assumed.
std::size_t CountChar(std::string_view text, char c);
void EraseChar(std::string &text, char c);
// Replaces every occurrence of needle, searching on past each inserted
// replacement, and returns how many were replaced. Linear in the text, and
// in place when the text's capacity already holds the result. An empty
// needle matches nothing.
std::size_t ReplaceAll(std::string &text, std::string_view needle,
                       std::string_view replacement);

// Every line break leaves as CR LF. A text holding any LF is LF-delimited
// and loses all its CRs; one without LF is CR-delimited.
std::string NormalizeLineBreaks(std::string_view text);
// What that rule makes of any text, NUL bytes and all: its size, and
// whether it changes at all.
LineBreakPlan PlanLineBreaks(std::string_view text);

// "name" <address>, each part only when its pointer is present.
std::string FormatRecipient(const MapiRecipDesc &recipient);

// BuildMailPacket's bytes; no packet when a text is too long for the
// format's 32-bit lengths. Throws std::bad_alloc when memory runs out.
std::optional<std::string> BuildMailPacketBytes(const MapiMessage &message);

}  // namespace quillory

#endif

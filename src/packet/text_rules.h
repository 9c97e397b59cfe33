#ifndef QUILLORY_TEXT_RULES_H
#define QUILLORY_TEXT_RULES_H

#include <cstddef>
#include <string>
#include <string_view>

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

// "name" <address>, each part only when its pointer is present.
std::string FormatRecipient(const MapiRecipDesc &recipient);

}  // namespace quillory

#endif

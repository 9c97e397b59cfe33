#ifndef QUILLORY_TEXT_RULES_H
#define QUILLORY_TEXT_RULES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
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

// NormalizeLineBreaks in two steps, for a writer that wants the result in
// place: its size and kind from one count, then the bytes. The size is
// 64-bit: a 2 GiB text of CRs doubles past what a 32-bit size holds.
struct LineBreakPlan {
  std::uint64_t size;
  bool lf_delimited;
};
LineBreakPlan PlanLineBreaks(std::string_view text);
// Writes at most plan.size bytes to out, which holds that many: a text
// changed since it was planned cannot overrun.
void WriteLineBreaks(std::string_view text, const LineBreakPlan &plan,
                     char *out);

// "name" <address>, each part only when its pointer is present.
std::string FormatRecipient(const MapiRecipDesc &recipient);

// FormatRecipient in two steps: the parts, whose size is known, then the
// bytes. The size is 64-bit: two texts of 2 GiB each would wrap a 32-bit
// one.
struct RecipientParts {
  const char *name;
  std::size_t name_size;
  const char *address;
  std::size_t address_size;
};
// Inline: a packet of many recipients spends its time in these.
inline RecipientParts ReadRecipient(const MapiRecipDesc &recipient) {
  const char *name = recipient.lpszName;
  const char *address = recipient.lpszAddress;
  return {name, name != nullptr ? std::strlen(name) : 0, address,
          address != nullptr ? std::strlen(address) : 0};
}

// Presence is the pointer's alone: an empty name still gets its quotes.
inline std::uint64_t FormattedSize(const RecipientParts &parts) {
  std::uint64_t size = 0;
  if (parts.name != nullptr) size += std::uint64_t{parts.name_size} + 3;
  if (parts.address != nullptr) size += std::uint64_t{parts.address_size} + 2;
  return size;
}

// Writes exactly FormattedSize(parts) bytes to out.
inline void WriteRecipient(const RecipientParts &parts, char *out) {
  if (parts.name != nullptr) {
    *out++ = '"';
    std::memcpy(out, parts.name, parts.name_size);
    out += parts.name_size;
    *out++ = '"';
    *out++ = ' ';
  }
  if (parts.address != nullptr) {
    *out++ = '<';
    std::memcpy(out, parts.address, parts.address_size);
    out += parts.address_size;
    *out = '>';
  }
}

}  // namespace quillory

#endif

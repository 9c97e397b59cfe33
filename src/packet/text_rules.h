#ifndef QUILLORY_TEXT_RULES_H
#define QUILLORY_TEXT_RULES_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "packet/text_view.h"
#include "simple_mapi.h"

namespace quillory {

// The two text rules, written straight into a packet: a size first, then
// the bytes. (packet_strings.h has them as plain string functions, and the
// plan of any sized text.)

// Every line break leaves as CR LF. A text holding any LF is LF-delimited
// and loses all its CRs; one without LF is CR-delimited. The size is
// 64-bit: a 2 GiB text of CRs doubles past what a 32-bit size holds.
struct LineBreakPlan {
  uint64_t size;
  bool lf_delimited;
  // The text already is what the rule makes of it (no break at all, or
  // every break a CR LF already): it goes out as it is.
  bool unchanged;
};

// A zero-terminated note (null reads as empty) and its plan, in one pass
// that also finds its end.
struct NoteScan {
  TextView text;
  LineBreakPlan plan;
};
NoteScan ScanNote(const char *text);

// Writes exactly plan.size bytes to out, which holds that many: a text
// changed since it was planned cannot overrun, and what it leaves short is
// zeros.
void WriteLineBreaks(TextView text, const LineBreakPlan &plan, char *out);

// "name" <address>, each part only when its pointer is present, in two
// steps: the parts, whose size is known, then the bytes. The size is
// 64-bit: two texts of 2 GiB each would wrap a 32-bit one.
struct RecipientParts {
  const char *name;
  size_t name_size;
  const char *address;
  size_t address_size;
};
// Inline: a packet of many recipients spends its time in these.
inline RecipientParts ReadRecipient(const MapiRecipDesc &recipient) {
  const char *name = recipient.lpszName;
  const char *address = recipient.lpszAddress;
  return {name, name != nullptr ? strlen(name) : 0, address,
          address != nullptr ? strlen(address) : 0};
}

// Presence is the pointer's alone: an empty name still gets its quotes.
inline uint64_t FormattedSize(const RecipientParts &parts) {
  uint64_t size = 0;
  if (parts.name != nullptr) size += uint64_t{parts.name_size} + 3;
  if (parts.address != nullptr) size += uint64_t{parts.address_size} + 2;
  return size;
}

// Writes exactly FormattedSize(parts) bytes to out.
inline void WriteRecipient(const RecipientParts &parts, char *out) {
  if (parts.name != nullptr) {
    *out++ = '"';
    memcpy(out, parts.name, parts.name_size);
    out += parts.name_size;
    *out++ = '"';
    *out++ = ' ';
  }
  if (parts.address != nullptr) {
    *out++ = '<';
    memcpy(out, parts.address, parts.address_size);
    out += parts.address_size;
    *out = '>';
  }
}

}  // namespace quillory

#endif

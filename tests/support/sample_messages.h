#ifndef QUILLORY_SAMPLE_MESSAGES_H
#define QUILLORY_SAMPLE_MESSAGES_H

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "simple_mapi.h"

namespace quillory_test {

// A Simple MAPI message together with the storage its pointers point into.
struct SampleMessage {
  std::deque<std::string> texts;
  std::vector<MapiRecipDesc> recipients;
  std::vector<MapiFileDesc> files;
  MapiMessage message{};
};

struct SampleInfo {
  const char *name;
  const char *description;  // one line of --help
};

// Every sample, in the order --help lists them.
const std::vector<SampleInfo> &SampleMessages();

// Fills `out` with the named message; false for an unknown name.
bool MakeSampleMessage(const std::string &name, SampleMessage *out);

// A message of the user's own, its text already 8-bit: each part absent
// that was not given.
struct OwnRecipient {
  ULONG recip_class = 0;
  std::optional<std::string> name;
  std::optional<std::string> address;
};
struct OwnFile {
  std::string path;
  std::optional<std::string> file_name;
};
struct OwnMessage {
  std::optional<std::string> subject;
  std::optional<std::string> note;
  std::vector<OwnRecipient> recipients;
  std::vector<OwnFile> files;
};

void MakeOwnMessage(const OwnMessage &own, SampleMessage *out);

}  // namespace quillory_test

#endif

#ifndef QUILLORY_SAMPLE_MESSAGES_H
#define QUILLORY_SAMPLE_MESSAGES_H

#include <deque>
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

// Fills `out` with the named message; false for an unknown name.
// Names: empty, worked, linebreaks, recipients, attachments, sample, large,
// oversized, markers.
bool MakeSampleMessage(const std::string &name, SampleMessage *out);

const std::vector<std::string> &SampleMessageNames();

}  // namespace quillory_test

#endif

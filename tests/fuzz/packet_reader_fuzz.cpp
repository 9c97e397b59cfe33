// Any input is either refused with a reason, or read into records that
// write back to exactly the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "packet_reader.h"
#include "packet_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const quillory::PacketReadResult read = quillory::ReadMailPacket(input);
  if (!read.mail) {
    if (read.error.empty()) std::abort();
    return 0;
  }
  quillory::PacketWriter writer(quillory::SystemMemory());
  writer.PutString(read.mail->subject);
  writer.PutString(read.mail->note_text);
  writer.PutUInt32(static_cast<std::uint32_t>(read.mail->recipients.size()));
  for (const auto &entry : read.mail->recipients) writer.PutString(entry);
  writer.PutUInt32(static_cast<std::uint32_t>(read.mail->attachments.size()));
  for (const auto &entry : read.mail->attachments) writer.PutString(entry);
  const quillory::Packet packet = writer.Finish();
  if (std::string_view(packet.data(), packet.size()) != input) std::abort();
  return 0;
}

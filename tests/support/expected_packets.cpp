// Writes the packet the client must receive for each plain message, as
// this build makes it: expected-1.bin and on, into the folder given. The
// ARM64 test under Wine compares what its window received with these.
#include <cstdio>
#include <memory>
#include <string>

#include "packet_strings.h"
#include "plain_messages.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: expected_packets DIR\n");
    return 2;
  }
  const auto storage = std::make_unique<quillory_test::PlainStorage>();
  for (int i = 0; i < quillory_test::kPlainMessageCount; ++i) {
    MapiMessage message;
    quillory_test::MakePlainMessage(i, storage.get(), &message);
    const auto packet = quillory::BuildMailPacketBytes(message);
    const std::string path =
        std::string(argv[1]) + "/expected-" + std::to_string(i + 1) + ".bin";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || !packet ||
        std::fwrite(packet->data(), 1, packet->size(), file) !=
            packet->size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::fclose(file);
  }
  return 0;
}

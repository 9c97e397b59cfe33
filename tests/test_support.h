#ifndef QUILLORY_TEST_SUPPORT_H
#define QUILLORY_TEST_SUPPORT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "packet/packet_writer.h"

namespace quillory_test {

// The bytes that records(writer) puts, as the builder puts them: counted
// first, then written into storage of exactly the size counted, which
// they must fill.
template <typename Records>
std::string Written(Records records) {
  quillory::PacketWriter counter;
  records(counter);
  std::string out(static_cast<std::size_t>(counter.Size()), '\0');
  quillory::PacketWriter writer(out.data(), out.size());
  records(writer);
  if (!counter.Fits() || !writer.Fits() || writer.Size() != out.size()) {
    return "<counted and written differ>";
  }
  return out;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// Any run of bytes with data() and size() (a finished packet, say).
template <typename Bytes>
std::string Str(const Bytes &bytes) {
  return bytes.size() == 0 ? std::string()
                           : std::string(bytes.data(), bytes.size());
}

inline std::string Hex(const std::string &bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (!out.empty()) out += ' ';
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

// A zero-terminated run of `size` bytes 'a' that costs almost no memory:
// one small chunk of page cache mapped over and over. Lets a test hand over
// texts past 4 GiB. data() is null where the mapping could not be made.
class HugeText {
 public:
  explicit HugeText(std::size_t size) {
    const std::size_t chunks = (size + 1 + kChunk - 1) / kChunk;
    length_ = chunks * kChunk;
    void *base = mmap(nullptr, length_, PROT_NONE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return;
    base_ = static_cast<char *>(base);
    const int full = MakeChunk(kChunk);
    const int tail = MakeChunk(size - (chunks - 1) * kChunk);
    bool mapped = full >= 0 && tail >= 0;
    for (std::size_t i = 0; mapped && i < chunks; ++i) {
      mapped =
          mmap(base_ + i * kChunk, kChunk, PROT_READ, MAP_SHARED | MAP_FIXED,
               i + 1 == chunks ? tail : full, 0) != MAP_FAILED;
    }
    if (full >= 0) close(full);
    if (tail >= 0) close(tail);
    if (mapped) data_ = base_;
  }
  ~HugeText() {
    if (base_ != nullptr) munmap(base_, length_);
  }
  HugeText(const HugeText &) = delete;
  HugeText &operator=(const HugeText &) = delete;

  const char *data() const { return data_; }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 24;

  // A chunk of 'a' for the first `letters` bytes, zero after them.
  static int MakeChunk(std::size_t letters) {
    const int fd = memfd_create("huge-text", 0);
    if (fd < 0) return -1;
    std::vector<char> chunk(kChunk, '\0');
    for (std::size_t i = 0; i < letters; ++i) chunk[i] = 'a';
    if (write(fd, chunk.data(), kChunk) != static_cast<ssize_t>(kChunk)) {
      close(fd);
      return -1;
    }
    return fd;
  }

  char *base_ = nullptr;
  const char *data_ = nullptr;
  std::size_t length_ = 0;
};

constexpr bool kWideSize = sizeof(std::size_t) >= 8;
// Zero where size_t cannot hold it; tests that need it skip there.
constexpr std::size_t kFourGiB =
    static_cast<std::size_t>(std::uint64_t{1} << 32);

}  // namespace quillory_test

#endif

#ifndef QUILLORY_TEXT_VIEW_H
#define QUILLORY_TEXT_VIEW_H

#include <stddef.h>
#include <string.h>

namespace quillory {

// A run of bytes owned elsewhere. The DLL's code uses no C++ runtime (there
// is none for every target it ships on), so this stands in for
// std::string_view; anything with data() and size() converts to it.
class TextView {
 public:
  constexpr TextView() = default;
  constexpr TextView(const char *data, size_t size)
      : data_(data), size_(size) {}
  // A zero-terminated text; null reads as empty.
  TextView(const char *text)  // NOLINT(google-explicit-constructor)
      : data_(text), size_(text != nullptr ? strlen(text) : 0) {}
  template <typename T, typename = decltype(static_cast<const char *>(
                            static_cast<const T *>(nullptr)->data()))>
  TextView(const T &bytes)  // NOLINT(google-explicit-constructor)
      : data_(bytes.data()), size_(bytes.size()) {}

  [[nodiscard]] constexpr const char *data() const { return data_; }
  [[nodiscard]] constexpr size_t size() const { return size_; }
  [[nodiscard]] constexpr bool empty() const { return size_ == 0; }

 private:
  const char *data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace quillory

#endif

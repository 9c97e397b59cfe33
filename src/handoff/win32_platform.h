#ifndef QUILLORY_WIN32_PLATFORM_H
#define QUILLORY_WIN32_PLATFORM_H

#include <stdint.h>

#include "handoff/handoff.h"

namespace quillory {

struct Win32PlatformSettings {
  uint32_t send_timeout_ms;
};

// The hand-off's operations on user32, kernel32 and shell32, with the send
// bound that settings give.
HandOffPlatform Win32HandOffPlatform(const Win32PlatformSettings *settings);

}  // namespace quillory

#endif

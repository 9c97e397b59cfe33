#ifndef QUILLORY_WIN32_PLATFORM_H
#define QUILLORY_WIN32_PLATFORM_H

#include <stdint.h>

#include "handoff/handoff.h"

namespace quillory {

// The hand-off's operations on user32, kernel32 and shell32, each send
// bounded by send_timeout_ms.
HandOffPlatform Win32HandOffPlatform(uint32_t send_timeout_ms);

}  // namespace quillory

#endif

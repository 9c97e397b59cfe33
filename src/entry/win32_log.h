#ifndef QUILLORY_WIN32_LOG_H
#define QUILLORY_WIN32_LOG_H

#include "entry/call_log.h"

namespace quillory {

// The Application log, the debug output and the system's error texts,
// through advapi32 and kernel32, under this build's version and
// architecture.
LogPlatform Win32LogPlatform();

}  // namespace quillory

#endif

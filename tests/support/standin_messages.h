#ifndef QUILLORY_STANDIN_MESSAGES_H
#define QUILLORY_STANDIN_MESSAGES_H

#include <windows.h>

namespace quillory_test {

// Posted to the stand-in client's window: it stops reading messages for
// wParam milliseconds, as a client busy with other work would.
inline constexpr UINT STANDIN_BUSY_MESSAGE = WM_APP + 1;
// Sent to it: answers the number of packets it has received.
inline constexpr UINT STANDIN_COUNT_MESSAGE = WM_APP + 2;

}  // namespace quillory_test

#endif

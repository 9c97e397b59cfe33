#ifndef QUILLORY_HANDOFF_H
#define QUILLORY_HANDOFF_H

#include <stddef.h>
#include <stdint.h>

// The window class and dwData are the client's contract, kept with its
// reader.
#include "quillory_packet.h"

namespace quillory {

using WindowHandle = void *;

// What a path names.
enum class PathKind { kMissing, kFile, kOther };

inline constexpr wchar_t CLIENT_WINDOW_CLASS[] = QUILLORY_WINDOW_CLASS_W;
inline constexpr wchar_t CLIENT_EXE_NAME[] = L"\\Quillory.exe";
inline constexpr wchar_t LAUNCH_VERB[] = L"open";
inline constexpr uint32_t LAUNCH_POLL_INTERVAL_MS = 500;
inline constexpr uint32_t LAUNCH_POLL_LIMIT = 60;
inline constexpr uint32_t LAUNCH_SETTLE_MS = 2000;
inline constexpr uintptr_t SENDMAIL_DATA_ID = QUILLORY_COPYDATA_ID;
// A client may keep the message while its compose window is shown, so the
// bound is generous; it only keeps a client that hangs mid-message from
// freezing the caller for good.
inline constexpr uint32_t SEND_TIMEOUT_MS = 5 * 60 * 1000;

// MAX_PATH, counting the terminating zero: the shell takes no longer path
// literally.
inline constexpr size_t MAX_SHELL_PATH = 260;
// Room for the library's own path: twice MAX_PATH. A longer path leaves,
// after a file name of at most 255 characters, a folder too long to start
// the client from anyway, so nothing longer needs reading.
inline constexpr size_t MODULE_PATH_CAPACITY = 2 * MAX_SHELL_PATH;

// The system's code for a send that ran into its bound, or that it gave up
// at once on a window it counts as hung (ERROR_TIMEOUT).
inline constexpr uint32_t SEND_TIMED_OUT_ERROR = 1460;
// The tick count runs in steps of up to 16 ms: a send that ended this
// close to the bound reached it.
inline constexpr uint32_t SEND_BOUND_SLACK_MS = 100;

// Why a call ended as it did. SendMail decides the message's own (no
// message, too large, no memory); the hand-off all the others.
enum class Outcome : uint8_t {
  kDelivered,
  kNoMessage,
  // A text of 4 GiB or more, or a packet too long for cbData.
  kTooLarge,
  kOutOfMemory,
  // The library's own path could not be had: nowhere safe to start from.
  kNoOwnPath,
  // The client's path is not one the shell takes literally (relative,
  // MAX_PATH or longer, or holding %), so nothing was started.
  kFolderRefused,
  // Quillory.exe is a folder or a device.
  kClientNotAFile,
  // The shell refused the start; no window came either.
  kStartFailed,
  // Started, but no window within the wait.
  kNoWindowAfterStart,
  // The window went before the message reached it.
  kWindowGone,
  // The system counted the client hung and did not wait.
  kClientHung,
  // At the bound the client had not taken the message and was hung.
  kUnanswered,
  // The system refused the send to a window that is still there (an
  // elevated client's filter, say).
  kSendRefused,
};

// What one bounded WM_COPYDATA send did, as the system reported it.
struct CopyDataSend {
  // The send returned, with reply the window's answer.
  bool sent;
  uintptr_t reply;
  // Otherwise the system's error code.
  uint32_t error;
  // From the start of the send to its end, in the tick count's steps.
  uint32_t elapsed_ms;
};

// What a log of the call names beside its outcome.
struct HandOffFacts {
  // The system's code behind the outcome, 0 for none: the send's, or the
  // shell's for a start that failed.
  uint32_t system_error;
  // The process owning the window the packet went to; 0 when none was
  // found.
  uint32_t process_id;
  // The program the hand-off looked for or started, zero-terminated;
  // empty when a window was there at once or no path could be made.
  wchar_t client_path[MODULE_PATH_CAPACITY];
};

// The platform operations the hand-off needs, as plain function pointers:
// Win32 in the library, a recording fake in the tests.
struct HandOffPlatform {
  void *context;
  // The bound of each send: SEND_TIMEOUT_MS in the library.
  uint32_t send_timeout_ms;
  // Top-level window of that class, any title; null when there is none.
  WindowHandle (*find_client_window)(void *context, const wchar_t *class_name);
  // The library's own full path into buffer, zero-terminated, and its
  // length; 0 when it cannot be had; capacity or more when it is longer
  // than buffer holds (buffer then holds nothing of use).
  size_t (*get_module_path)(void *context, wchar_t *buffer, size_t capacity);
  // Nothing there (or nothing that may be looked at), a file, or anything
  // else, such as a folder.
  PathKind (*kind_of_path)(void *context, const wchar_t *path);
  // Shell start of path with verb, shown normally; the system's error
  // code when the shell refused it, else 0.
  uint32_t (*launch_client)(void *context, const wchar_t *verb,
                            const wchar_t *path);
  // Pauses the calling thread, still answering messages sent to it: a
  // client that sends to every top-level window while it starts must not
  // wait on us while we wait on it.
  void (*pause)(void *context, uint32_t milliseconds);
  uint32_t (*window_process_id)(void *context, WindowHandle window);
  void (*allow_set_foreground)(void *context, uint32_t process_id);
  // WM_COPYDATA, bounded by timeout_ms, and what the system said of it.
  CopyDataSend (*send_copy_data)(void *context, WindowHandle window,
                                 uintptr_t data_id, const void *data,
                                 uint32_t size, uint32_t timeout_ms);
  // Whether window is still a window.
  bool (*window_exists)(void *context, WindowHandle window);
  // Whether the system counts the window's thread as hung (no message
  // read for 5 s).
  bool (*window_is_hung)(void *context, WindowHandle window);
};

// The library's directory into buffer (MODULE_PATH_CAPACITY characters):
// its path cut before the last backslash, a path without one taken whole.
// Its length; 0 when the path cannot be had, MODULE_PATH_CAPACITY when it
// is longer than the buffer (which then holds nothing of use).
size_t GetModuleDirectory(const HandOffPlatform &platform, wchar_t *buffer);

// Delivers the packet to the client's main window, starting the client
// from the library's directory and waiting a bounded time when it is not
// running. kDelivered when the packet reached a client window, else why
// not; facts, when given, get what a log names beside it.
Outcome HandOffToClient(const HandOffPlatform &platform, const char *packet,
                        size_t size, HandOffFacts *facts = nullptr);

}  // namespace quillory

#endif

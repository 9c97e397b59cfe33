#ifndef QUILLORY_HANDOFF_H
#define QUILLORY_HANDOFF_H

#include <stddef.h>
#include <stdint.h>

namespace quillory {

using WindowHandle = void *;

// What a path names.
enum class PathKind { kMissing, kFile, kOther };

inline constexpr wchar_t CLIENT_WINDOW_CLASS[] = L"QuilloryDlg";
inline constexpr wchar_t CLIENT_EXE_NAME[] = L"\\Quillory.exe";
inline constexpr wchar_t LAUNCH_VERB[] = L"open";
inline constexpr uint32_t LAUNCH_POLL_INTERVAL_MS = 500;
inline constexpr uint32_t LAUNCH_POLL_LIMIT = 60;
inline constexpr uint32_t LAUNCH_SETTLE_MS = 2000;
inline constexpr uintptr_t SENDMAIL_DATA_ID = 943;
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

// The platform operations the hand-off needs, as plain function pointers:
// Win32 in the library, a recording fake in the tests.
struct HandOffPlatform {
  void *context;
  // Top-level window of that class, any title; null when there is none.
  WindowHandle (*find_window)(void *context, const wchar_t *class_name);
  // The library's own full path into buffer, zero-terminated, and its
  // length; 0 when it cannot be had; capacity or more when it is longer
  // than buffer holds (buffer then holds nothing of use).
  size_t (*get_module_path)(void *context, wchar_t *buffer, size_t capacity);
  // Nothing there (or nothing that may be looked at), a file, or anything
  // else, such as a folder.
  PathKind (*path_kind)(void *context, const wchar_t *path);
  // Shell start of path with verb, shown normally; the outcome is not
  // reported.
  void (*shell_execute)(void *context, const wchar_t *verb,
                        const wchar_t *path);
  // Pauses the calling thread, still answering messages sent to it: a
  // client that sends to every top-level window while it starts must not
  // wait on us while we wait on it.
  void (*sleep)(void *context, uint32_t milliseconds);
  uint32_t (*window_process_id)(void *context, WindowHandle window);
  void (*allow_set_foreground)(void *context, uint32_t process_id);
  // WM_COPYDATA, bounded by SEND_TIMEOUT_MS. True when the send went
  // through: the client answered, with *reply its answer, or at the bound
  // it is still reading messages (a compose window open, say), with *reply
  // 1 since it took the message. A message the client never picked up is
  // withdrawn at the bound, so that is a failure.
  bool (*send_copy_data)(void *context, WindowHandle window, uintptr_t data_id,
                         const void *data, uint32_t size, uintptr_t *reply);
  // Whether window is still a window.
  bool (*window_exists)(void *context, WindowHandle window);
};

WindowHandle FindClientWindow(const HandOffPlatform &platform);

// The library's directory into buffer (MODULE_PATH_CAPACITY characters):
// its path cut before the last backslash, a path without one taken whole.
// Its length; 0 when the path cannot be had or is longer than the buffer.
size_t GetModuleDirectory(const HandOffPlatform &platform, wchar_t *buffer);

// Starts the client at path, which must be one that IsLaunchablePath
// accepts.
void LaunchClient(const HandOffPlatform &platform, const wchar_t *path);

bool IsAbsoluteWindowsPath(const wchar_t *path, size_t length);
// A path the shell takes literally: absolute (a relative one would be
// resolved against the caller's current directory, where another program
// could have been planted), shorter than MAX_PATH, and without %.
bool IsLaunchablePath(const wchar_t *path, size_t length);

// Delivers the packet to the client's main window, starting the client
// from the library's directory and waiting a bounded time when it is not
// running. True when the packet reached a client window.
bool HandOffToClient(const HandOffPlatform &platform, const char *packet,
                     size_t size);

}  // namespace quillory

#endif

/* An example Quillory mail client: the receiving end of the Simple MAPI
 * provider, as a template to copy. It shows each mail that programs hand
 * over in a read-only view; a real client opens its compose window there
 * instead. docs/client.md is the contract it keeps, docs/packet.md the
 * bytes that include/quillory_packet.h reads.
 *
 * What the provider relies on, and this program keeps to:
 *   - one top-level window of class QUILLORY_WINDOW_CLASS_W per session
 *     (any title);
 *   - WM_COPYDATA with dwData QUILLORY_COPYDATA_ID carries one MailPacket;
 *   - the calling program's thread waits in its send until the handler
 *     returns, so the handler copies what it needs and returns at once.
 *
 * For the end-to-end test (tests/windows/example-client.sh) it also writes
 * one line per message to %LOCALAPPDATA%\QuilloryExampleClient\received.log;
 * a real client keeps no such log, since it holds the users' mail. */
#define WIN32_LEAN_AND_MEAN
/* ChangeWindowMessageFilterEx needs Windows 7. */
#define _WIN32_WINNT 0x0601
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
/* After windows.h, which it needs. */
#include <shlobj.h>

#define QUILLORY_PACKET_IMPLEMENTATION
#include "quillory_packet.h"

/* Posted to itself when something was taken. It carries nothing, since
 * any program on the desktop can post it too. */
#define WM_TAKEN (WM_APP + 1)

static HWND g_view;
static int g_mails;
/* Where attachments are copied to, with a trailing backslash; empty when
 * there is no such folder. From the user's profile, not %TEMP%: a client
 * the provider starts has the caller's environment, and a caller's TEMP
 * may be a folder it cleans up. */
static wchar_t g_store[MAX_PATH + 32];

/* Growing wide text, always zero-terminated once anything was added. After
 * a failed allocation it stays failed and adds nothing. */
typedef struct Text {
  wchar_t *data;
  size_t size, capacity;
  int failed;
} Text;

static wchar_t *text_room(Text *text, size_t count) {
  if (text->failed) return NULL;
  if (count >= (SIZE_MAX / sizeof(wchar_t)) / 4 - text->size) {
    text->failed = 1;
    return NULL;
  }
  if (text->size + count + 1 > text->capacity) {
    size_t capacity = text->capacity > 0 ? text->capacity : 256;
    wchar_t *data;
    while (capacity < text->size + count + 1) capacity *= 2;
    data = (wchar_t *)realloc(text->data, capacity * sizeof(wchar_t));
    if (data == NULL) {
      text->failed = 1;
      return NULL;
    }
    text->data = data;
    text->capacity = capacity;
  }
  return text->data + text->size;
}

static void text_grew(Text *text, size_t count) {
  text->size += count;
  text->data[text->size] = L'\0';
}

static void text_add(Text *text, const wchar_t *chars, size_t count) {
  wchar_t *room = text_room(text, count);
  if (room == NULL) return;
  memcpy(room, chars, count * sizeof(wchar_t));
  text_grew(text, count);
}

static void text_add_z(Text *text, const wchar_t *chars) {
  text_add(text, chars, wcslen(chars));
}

static void text_add_number(Text *text, unsigned long number) {
  wchar_t digits[24];
  size_t at = 24;
  do {
    digits[--at] = (wchar_t)(L'0' + number % 10);
    number /= 10;
  } while (number > 0);
  text_add(text, digits + at, 24 - at);
}

/* Packet text arrives in the caller's ANSI code page, with a length and
 * possibly NUL bytes: converted by its length, each NUL shown as U+FFFD,
 * since the edit control would end the text there. */
static void text_add_ansi(Text *text, quillory_text bytes) {
  wchar_t *room;
  int count;
  int i;
  if (bytes.size == 0 || text->failed) return;
  if (bytes.size > INT_MAX) {
    text->failed = 1;
    return;
  }
  count = MultiByteToWideChar(CP_ACP, 0, bytes.data, (int)bytes.size, NULL, 0);
  room = count > 0 ? text_room(text, (size_t)count) : NULL;
  if (room == NULL ||
      MultiByteToWideChar(CP_ACP, 0, bytes.data, (int)bytes.size, room,
                          count) != count) {
    text->failed = 1;
    return;
  }
  for (i = 0; i < count; ++i) {
    if (room[i] == L'\0') room[i] = 0xFFFD;
  }
  text_grew(text, (size_t)count);
}

static void text_free(Text *text) {
  free(text->data);
  text->data = NULL;
  text->size = text->capacity = 0;
  text->failed = 0;
}

static int is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

static int is_drive_path(const wchar_t *path) {
  const wchar_t drive = (wchar_t)(path[0] | 0x20);
  return drive >= L'a' && drive <= L'z' && path[1] == L':' &&
         is_separator(path[2]);
}

/* The caller's path means nothing in this process unless it is full: a
 * relative one (file, C:file, \dir\file) would name a file in the
 * client's own current folders. Device forms (\\.\, \??\, and \\?\ but
 * for a drive or a share) reach volumes and raw disks, which an elevated
 * client could read for anyone: refused, with either slash. */
static int is_usable_path(const wchar_t *path) {
  if (is_drive_path(path)) return 1;
  if (!is_separator(path[0]) || !is_separator(path[1])) return 0;
  if ((path[2] == L'.' || path[2] == L'?') && is_separator(path[3])) {
    return wcsncmp(path, L"\\\\?\\", 4) == 0 &&
           (is_drive_path(path + 4) ||
            (_wcsnicmp(path + 4, L"UNC\\", 4) == 0 && path[8] != L'\0'));
  }
  /* \\server\share\... */
  return path[2] != L'\0' && !is_separator(path[2]);
}

/* Copies a file in pieces, reading the messages sent to this thread in
 * between. A large file takes a while, and a thread that reads no message
 * for 5 s counts as hung: the provider then fails another caller's call at
 * once. Peeking answers sent messages (another mail among them, handled
 * inside this one) and leaves posted ones queued. */
static BOOL copy_file(const wchar_t *from, const wchar_t *to) {
  enum { PIECE = 1 << 18 };
  char *buffer = (char *)malloc(PIECE);
  HANDLE source =
      CreateFileW(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  HANDLE target = INVALID_HANDLE_VALUE;
  BOOL copied = FALSE;
  DWORD error;
  /* A path can name a pipe or a device, whose reads may never end. */
  if (source != INVALID_HANDLE_VALUE && GetFileType(source) != FILE_TYPE_DISK) {
    SetLastError(ERROR_BAD_FILE_TYPE);
  } else if (buffer != NULL && source != INVALID_HANDLE_VALUE) {
    target = CreateFileW(to, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  }
  while (target != INVALID_HANDLE_VALUE) {
    DWORD got;
    DWORD put;
    MSG msg;
    if (!ReadFile(source, buffer, PIECE, &got, NULL)) break;
    if (got == 0) {
      copied = TRUE;
      break;
    }
    if (!WriteFile(target, buffer, got, &put, NULL) || put != got) break;
    PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);
  }
  error = buffer == NULL ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
  if (target != INVALID_HANDLE_VALUE) {
    CloseHandle(target);
    if (!copied) DeleteFileW(to);
  }
  if (source != INVALID_HANDLE_VALUE) CloseHandle(source);
  free(buffer);
  SetLastError(error);
  return copied;
}

/* Copies one attachment while the caller still has it (callers often
 * delete their temporary files as soon as their call returns, and it
 * returns when the handler does) into a folder of its own, so that equal
 * names from different folders do not collide, and says how that went.
 * A missing file is reported, never fatal: the rest of the mail counts.
 * A real client deletes its copies once the mail is sent or discarded. */
static void take_attachment(Text *shown, quillory_text path, int mail,
                            unsigned index) {
  Text source = {0};
  Text target = {0};
  const wchar_t *name;
  const wchar_t *at;
  text_add_z(shown, L"Attachment: ");
  text_add_ansi(shown, path);
  text_add_ansi(&source, path);
  if (memchr(path.data, '\0', path.size) != NULL || source.failed ||
      !is_usable_path(source.data)) {
    /* No file name holds a NUL byte. */
    text_add_z(shown, L" (not a usable path)\r\n");
    text_free(&source);
    return;
  }
  name = source.data;
  for (at = source.data; *at != L'\0'; ++at) {
    if (*at == L'\\' || *at == L'/') name = at + 1;
  }
  text_add_z(&target, g_store);
  text_add_z(&target, L"mail-");
  text_add_number(&target, GetCurrentProcessId());
  text_add_z(&target, L"-");
  text_add_number(&target, (unsigned long)mail);
  text_add_z(&target, L"-");
  text_add_number(&target, index);
  if (g_store[0] == L'\0' || *name == L'\0' || target.failed) {
    text_add_z(shown, L" (not copied)\r\n");
  } else {
    CreateDirectoryW(target.data, NULL);
    text_add_z(&target, L"\\");
    text_add_z(&target, name);
    if (!target.failed && copy_file(source.data, target.data)) {
      text_add_z(shown, L" (copied to ");
      text_add(shown, target.data, target.size);
      text_add_z(shown, L")\r\n");
    } else {
      /* Either side can give "not found": ask about the source alone. */
      const DWORD error = GetLastError();
      if (GetFileAttributesW(source.data) == INVALID_FILE_ATTRIBUTES &&
          (GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND)) {
        text_add_z(shown, L" (missing)\r\n");
      } else {
        text_add_z(shown, L" (not copied: error ");
        text_add_number(shown, error);
        text_add_z(shown, L")\r\n");
      }
    }
  }
  text_free(&source);
  text_free(&target);
}

/* The test's log: the shown text on one line, control characters written
 * out, in UTF-8. */
static void log_line(const Text *shown) {
  Text line = {0};
  size_t i;
  int size;
  char *bytes;
  HANDLE file;
  wchar_t path[MAX_PATH + 64];
  for (i = 0; i < shown->size; ++i) {
    const wchar_t c = shown->data[i];
    if (c == L'\r') {
      text_add_z(&line, L"\\r");
    } else if (c == L'\n') {
      text_add_z(&line, L"\\n");
    } else if (c < 0x20) {
      text_add_z(&line, L"\\x");
      text_add(&line, &L"0123456789ABCDEF"[c >> 4], 1);
      text_add(&line, &L"0123456789ABCDEF"[c & 15], 1);
    } else {
      text_add(&line, &c, 1);
    }
  }
  text_add_z(&line, L"\r\n");
  size = line.failed || line.size > INT_MAX / 4 || g_store[0] == L'\0'
             ? 0
             : WideCharToMultiByte(CP_UTF8, 0, line.data, (int)line.size, NULL,
                                   0, NULL, NULL);
  bytes = size > 0 ? (char *)malloc((size_t)size) : NULL;
  if (bytes != NULL) {
    WideCharToMultiByte(CP_UTF8, 0, line.data, (int)line.size, bytes, size,
                        NULL, NULL);
    wcscpy(path, g_store);
    wcscat(path, L"received.log");
    file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written;
      WriteFile(file, bytes, (DWORD)size, &written, NULL);
      CloseHandle(file);
    }
  }
  free(bytes);
  text_free(&line);
}

/* What the handler took, shown once the caller is released: appending a
 * long note to the view takes a while, and the caller waits. */
typedef struct Taken {
  struct Taken *next;
  Text shown;
  int is_mail;
} Taken;
static Taken *g_taken;
static Taken **g_taken_end = &g_taken;

static void keep(HWND window, Text *shown, int is_mail) {
  Taken *taken = (Taken *)malloc(sizeof(Taken));
  log_line(shown);
  if (taken == NULL) {
    text_free(shown);
    return;
  }
  taken->next = NULL;
  taken->shown = *shown;
  taken->is_mail = is_mail;
  *g_taken_end = taken;
  g_taken_end = &taken->next;
  /* Should the queue be full, the next one shows this too. */
  PostMessageW(window, WM_TAKEN, 0, 0);
}

/* WM_TAKEN: appends to the view, the client's own child window, and comes
 * forward for a mail. A real client opens its compose window here. */
static void show_taken(HWND window) {
  int mail = 0;
  while (g_taken != NULL) {
    Taken *taken = g_taken;
    const int end = GetWindowTextLengthW(g_view);
    g_taken = taken->next;
    if (g_taken == NULL) g_taken_end = &g_taken;
    SendMessageW(g_view, EM_SETSEL, (WPARAM)end, (LPARAM)end);
    SendMessageW(g_view, EM_REPLACESEL, FALSE, (LPARAM)taken->shown.data);
    mail |= taken->is_mail;
    text_free(&taken->shown);
    free(taken);
  }
  if (mail) {
    /* The provider allowed this process to take the foreground before its
     * send. */
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
  }
}

/* WM_COPYDATA with the packet's dwData. The packet is readable only until
 * this returns: everything kept is copied (converted) here, the
 * attachments too. Nothing here sends to another program's window: the
 * caller's thread is blocked in its send to us. */
static LRESULT take_mail(HWND window, const COPYDATASTRUCT *data) {
  quillory_mail mail;
  quillory_text entry;
  Text shown = {0};
  unsigned index = 0;
  int number;
  if (!quillory_read_mail(data->lpData, data->cbData, &mail)) {
    /* Any program on the desktop can send this: drop it, say so in the
     * view (a message box would hold the sender until it is closed). */
    text_add_z(&shown, L"Dropped an unreadable message of ");
    text_add_number(&shown, data->cbData);
    text_add_z(&shown, L" bytes.\r\n");
    if (!shown.failed) keep(window, &shown, 0);
    return TRUE;
  }
  number = ++g_mails;
  text_add_z(&shown, L"Mail ");
  text_add_number(&shown, (unsigned long)number);
  text_add_z(&shown, L"\r\nSubject: ");
  text_add_ansi(&shown, mail.subject);
  text_add_z(&shown, L"\r\n");
  /* Each entry is one recipient in display form, as is: a name may hold
   * commas and angle brackets, so never split one. The packet has no To,
   * Cc or Bcc: all go to To for the user to review. Strip a leading SMTP:
   * before using an address. */
  while (quillory_next(&mail.recipients, &entry)) {
    text_add_z(&shown, L"To: ");
    text_add_ansi(&shown, entry);
    text_add_z(&shown, L"\r\n");
  }
  while (quillory_next(&mail.attachments, &entry)) {
    ++index;
    /* A caller's attachment without a path arrives empty. */
    if (entry.size > 0) take_attachment(&shown, entry, number, index);
  }
  text_add_z(&shown, L"\r\n");
  text_add_ansi(&shown, mail.note);
  text_add_z(&shown, L"\r\n----------------------------------------\r\n");
  if (shown.failed) {
    text_free(&shown);
    text_add_z(&shown, L"A mail arrived that was too large to show.\r\n");
  }
  if (!shown.failed) keep(window, &shown, 1);
  return TRUE;
}

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      g_view = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL |
                                   ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                               0, 0, 0, 0, window, NULL, NULL, NULL);
      if (g_view == NULL) return -1;
      /* Lifts the 32767-character default, which appending would hit. */
      SendMessageW(g_view, EM_SETLIMITTEXT, 0, 0);
      SendMessageW(g_view, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT),
                   FALSE);
      return 0;
    case WM_SIZE:
      MoveWindow(g_view, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_COPYDATA: {
      const COPYDATASTRUCT *data = (const COPYDATASTRUCT *)lparam;
      /* Not ours: some other program's message, left alone. */
      if (data == NULL || data->dwData != QUILLORY_COPYDATA_ID) return FALSE;
      return take_mail(window, data);
    }
    case WM_TAKEN:
      show_taken(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line,
                    int show_command) {
  WNDCLASSW window_class;
  HWND window;
  MSG msg;
  HANDLE mutex;
  DWORD error;
  (void)previous;
  (void)command_line;

  if (SHGetFolderPathW(NULL, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, NULL,
                       SHGFP_TYPE_CURRENT, g_store) == S_OK) {
    wcscat(g_store, L"\\QuilloryExampleClient\\");
    CreateDirectoryW(g_store, NULL);
  } else {
    g_store[0] = L'\0';
  }

  /* One client per session. The provider hands each mail to the first
   * window of that class it finds, and callers whose first calls
   * overlap may each start Quillory.exe; so a second instance brings the
   * running one forward and leaves. The mutex is held until this process
   * ends. An elevated first instance's mutex cannot be opened by a normal
   * one: access denied means it exists too. */
  mutex = CreateMutexW(NULL, FALSE, L"Local\\QuilloryExampleClient");
  error = GetLastError();
  if (mutex != NULL ? error == ERROR_ALREADY_EXISTS
                    : error == ERROR_ACCESS_DENIED) {
    Text note = {0};
    /* No window yet means the first one is still starting; the provider
     * waits for it (a client that passes on its command line looks again
     * for a while). Async: the running one may be busy. */
    window = FindWindowW(QUILLORY_WINDOW_CLASS_W, NULL);
    if (window != NULL) {
      if (IsIconic(window)) ShowWindowAsync(window, SW_RESTORE);
      SetForegroundWindow(window);
    }
    text_add_z(&note, L"Second instance: left it to the running one.");
    log_line(&note);
    text_free(&note);
    return 0;
  }

  memset(&window_class, 0, sizeof window_class);
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.lpszClassName = QUILLORY_WINDOW_CLASS_W;
  window_class.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  window_class.hbrBackground = (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1);
  if (RegisterClassW(&window_class) == 0) return 1;
  window =
      CreateWindowExW(0, QUILLORY_WINDOW_CLASS_W, L"Quillory example client",
                      WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                      480, NULL, NULL, instance, NULL);
  if (window == NULL) return 1;
  /* An elevated client otherwise never gets WM_COPYDATA from the normal
   * programs that call the provider. Fails harmlessly where there is no
   * such isolation. */
  ChangeWindowMessageFilterEx(window, WM_COPYDATA, MSGFLT_ALLOW, NULL);
  ShowWindow(window, show_command);

  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return (int)msg.wParam;
}

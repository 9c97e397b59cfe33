// Stand-in for the Quillory mail client, for tests and for trying the
// provider: a top-level window of class QUILLORY_WINDOW_CLASS_W that accepts
// the MailPacket by WM_COPYDATA, reads it as the client would and records what
// arrived in the folder it runs from (or QUILLORY_STANDIN_DIR):
//   received.log      one readable entry per message, and a "ready" line
//   packet-N.bin      the raw bytes of the N-th packet
// Behaviour for tests, from the environment (inherited when the provider
// starts it):
//   QUILLORY_STANDIN_WINDOW_DELAY_MS  wait this long before making the window
//   QUILLORY_STANDIN_HANG=after-start stop handling messages once the window
//                                      exists
//   QUILLORY_STANDIN_HOLD_MS=N        keep each packet this long before
//                                      answering, still reading messages
//                                      (a compose window, say)
//   QUILLORY_STANDIN_BROADCAST_FIRST=1 send a message to every top-level
//                                      window before making its own
//   QUILLORY_STANDIN_REPLACE_WINDOW_MS=N  N ms after its first window, make
//                                      a second one and close the first
//   QUILLORY_STANDIN_REPLACE_EVERY=1  and so on, N ms after each window
//   QUILLORY_STANDIN_EXIT_AFTER=N     quit after the N-th packet
//   QUILLORY_STANDIN_QUIET=1          only count packets: no reading, no
//                                      files (for benchmarks)
//   QUILLORY_STANDIN_CLOSE_AFTER_BUSY=1 destroy the window at the end of a
//                                      busy spell, with a message waiting
// STANDIN_BUSY_MESSAGE, posted to its window, stops it reading messages
// for wParam ms; STANDIN_COUNT_MESSAGE answers how many packets arrived.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "received_mail.h"
#include "standin_messages.h"

namespace {

std::wstring g_dir;
int g_packets = 0;
int g_exit_after = 0;
bool g_quiet = false;
DWORD g_hold_ms = 0;
bool g_close_after_busy = false;
HINSTANCE g_instance = nullptr;
int g_windows_open = 0;
UINT g_replace_every_ms = 0;
constexpr UINT_PTR kReplaceTimer = 1;

std::wstring Env(const wchar_t *name) {
  wchar_t value[1024];
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

std::wstring OwnDirectory() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), 32768);
  path.resize(n);
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

void WriteFileBytes(const std::wstring &path, const std::string &bytes,
                    bool append) {
  HANDLE file = CreateFileW(
      path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
            nullptr);
  FlushFileBuffers(file);
  CloseHandle(file);
}

void Log(const std::string &text) {
  WriteFileBytes(g_dir + L"\\received.log", text, true);
}

// Readable in any terminal: CR and LF shown as \r and \n, other control
// and 8-bit bytes as \xHH. Backslashes stay as they are, for the sake of
// paths; the raw bytes are in the packet files.
std::string Shown(const std::string &bytes) {
  std::string out;
  char hex[8];
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || b >= 0x7F) {
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Describe(int number, const COPYDATASTRUCT &data) {
  const std::string bytes(static_cast<const char *>(data.lpData), data.cbData);
  std::string out = "packet " + std::to_string(number) + ": " +
                    std::to_string(data.cbData) + " bytes, dwData " +
                    std::to_string(data.dwData) + "\r\n";
  const auto read = quillory_test::ReadMail(bytes);
  if (!read) return out + "  UNREADABLE: not a well-formed packet\r\n";
  const quillory_test::ReceivedMail &mail = *read;
  out += "  subject: " + Shown(mail.subject) + "\r\n";
  out += "  note text: " + Shown(mail.note_text) + "\r\n";
  out += "  recipients: " + std::to_string(mail.recipients.size()) + "\r\n";
  for (const std::string &r : mail.recipients) {
    out += "    " + Shown(r) + "\r\n";
  }
  out += "  attachments: " + std::to_string(mail.attachments.size()) + "\r\n";
  for (const std::string &a : mail.attachments) {
    out += "    " + Shown(a) + "\r\n";
  }
  return out;
}

// Keeps reading and dispatching messages for ms, as a modal compose window
// would.
void HoldReadingMessages(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now),
                              QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

HWND MakeWindow() {
  HWND window =
      CreateWindowExW(0, QUILLORY_WINDOW_CLASS_W, L"Quillory (stand-in)",
                      WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                      240, nullptr, nullptr, g_instance, nullptr);
  if (window != nullptr) ++g_windows_open;
  return window;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  if (message == quillory_test::STANDIN_BUSY_MESSAGE) {
    Log("busy for " + std::to_string(wparam) + " ms\r\n");
    Sleep(static_cast<DWORD>(wparam));
    if (g_close_after_busy) {
      Log("window closed after being busy\r\n");
      DestroyWindow(window);
    }
    return 0;
  }
  if (message == quillory_test::STANDIN_COUNT_MESSAGE) return g_packets;
  if (message == WM_TIMER && wparam == kReplaceTimer) {
    KillTimer(window, kReplaceTimer);
    // The next window first: the class is never without one, so a caller
    // never finds none and starts another client.
    HWND second = MakeWindow();
    if (second != nullptr && g_replace_every_ms > 0) {
      SetTimer(second, kReplaceTimer, g_replace_every_ms, nullptr);
    } else if (second != nullptr) {
      ShowWindow(second, SW_SHOWNORMAL);
    }
    DestroyWindow(window);
    if (!g_quiet) Log("window replaced\r\n");
    return 0;
  }
  if (message == WM_COPYDATA) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the message's own pointer.
    const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lparam);
    if (data->dwData != QUILLORY_COPYDATA_ID) {
      Log("ignored: message with dwData " + std::to_string(data->dwData) +
          " (" + std::to_string(data->cbData) + " bytes)\r\n");
      return FALSE;
    }
    const int number = ++g_packets;
    if (g_quiet) return TRUE;
    WriteFileBytes(
        g_dir + L"\\packet-" + std::to_wstring(number) + L".bin",
        std::string(static_cast<const char *>(data->lpData), data->cbData),
        false);
    Log(Describe(number, *data));
    if (g_hold_ms > 0) HoldReadingMessages(g_hold_ms);
    SetForegroundWindow(window);
    if (g_exit_after > 0 && number >= g_exit_after) PostQuitMessage(0);
    return TRUE;
  }
  if (message == WM_DESTROY) {
    if (--g_windows_open == 0) PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/,
                    PWSTR /*lpCmdLine*/, int nShowCmd) {
  g_instance = hInstance;
  g_dir = Env(L"QUILLORY_STANDIN_DIR");
  if (g_dir.empty()) g_dir = OwnDirectory();
  g_exit_after = _wtoi(Env(L"QUILLORY_STANDIN_EXIT_AFTER").c_str());
  g_quiet = Env(L"QUILLORY_STANDIN_QUIET") == L"1";
  g_close_after_busy = Env(L"QUILLORY_STANDIN_CLOSE_AFTER_BUSY") == L"1";
  g_hold_ms =
      static_cast<DWORD>(_wtoi(Env(L"QUILLORY_STANDIN_HOLD_MS").c_str()));
  const int delay = _wtoi(Env(L"QUILLORY_STANDIN_WINDOW_DELAY_MS").c_str());
  Log("started, pid " + std::to_string(GetCurrentProcessId()) + ", " +
      std::to_string(sizeof(void *) * 8) + "-bit\r\n");
  if (delay > 0) Sleep(static_cast<DWORD>(delay));
  if (Env(L"QUILLORY_STANDIN_BROADCAST_FIRST") == L"1") {
    // Waits on every top-level window, a caller's among them.
    const UINT hello = RegisterWindowMessageW(L"QuilloryStandinHello");
    DWORD_PTR reply = 0;
    const ULONGLONG start = GetTickCount64();
    SendMessageTimeoutW(HWND_BROADCAST, hello, 0, 0, SMTO_NORMAL, 60000,
                        &reply);
    Log("broadcast answered after " + std::to_string(GetTickCount64() - start) +
        " ms\r\n");
  }

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = hInstance;
  window_class.lpszClassName = QUILLORY_WINDOW_CLASS_W;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  // NOLINTNEXTLINE(performance-no-int-to-ptr): a system colour as a brush.
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  if (RegisterClassW(&window_class) == 0) return 1;
  HWND window = MakeWindow();
  if (window == nullptr) return 1;
  const int replace_ms =
      _wtoi(Env(L"QUILLORY_STANDIN_REPLACE_WINDOW_MS").c_str());
  if (replace_ms > 0 && Env(L"QUILLORY_STANDIN_REPLACE_EVERY") == L"1") {
    g_replace_every_ms = static_cast<UINT>(replace_ms);
  }
  // Windows replaced many times a second stay hidden: Wine waits on the X
  // server for each visible one that goes, which would hold the client
  // for whole seconds.
  if (g_replace_every_ms == 0) ShowWindow(window, nShowCmd);
  if (replace_ms > 0) {
    SetTimer(window, kReplaceTimer, static_cast<UINT>(replace_ms), nullptr);
  }
  Log("ready\r\n");

  if (Env(L"QUILLORY_STANDIN_HANG") == L"after-start") {
    // A client that has stopped answering: its window exists, but nothing
    // reads its queue any more.
    Sleep(INFINITE);
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

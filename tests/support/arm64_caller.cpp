// A native ARM64 mail-enabled program for arm64 Wine, built like the DLL
// with no C or C++ runtime: it plays the client's window in a thread of its
// own, sends the plain messages through the system's mapi32.dll, a null
// message, and the largest message again with the provider's malloc
// failing, and writes what happened to C:\out: packet-N.bin for each packet
// the window received, and result.txt (a line per call, then the provider
// file that was loaded).
#include <windows.h>

#include "fail_malloc.h"
#include "plain_messages.h"
#include "quillory_packet.h"
#include "simple_mapi.h"

namespace {

// Static, not on the stack: a frame over 4 KiB needs the stack probe
// (__chkstk) of a runtime this program does without.
quillory_test::PlainStorage g_storage;
char g_report[4096];
int g_packets = 0;
HANDLE g_ready = nullptr;
HWND g_window = nullptr;

// Appends text, or a number, to the report.
void Report(const char *text) {
  size_t at = 0;
  while (at + 1 < sizeof(g_report) && g_report[at] != '\0') ++at;
  while (at + 1 < sizeof(g_report) && *text != '\0') g_report[at++] = *text++;
  g_report[at] = '\0';
}

void ReportNumber(unsigned long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  char text[24];
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = '\0';
  Report(text);
}

bool WriteWholeFile(const wchar_t *path, const void *data, DWORD size) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, data, size, &written, nullptr);
  CloseHandle(file);
  return ok != FALSE && written == size;
}

LRESULT CALLBACK ClientProc(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  if (message == WM_COPYDATA) {
    const auto *copy = reinterpret_cast<const COPYDATASTRUCT *>(lparam);
    if (copy->dwData != QUILLORY_COPYDATA_ID) return FALSE;
    wchar_t path[] = L"C:\\out\\packet-0.bin";
    path[14] = static_cast<wchar_t>(L'1' + g_packets++);
    WriteWholeFile(path, copy->lpData, copy->cbData);
    return TRUE;
  }
  if (message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

DWORD WINAPI ClientThread(LPVOID /*unused*/) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = ClientProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = QUILLORY_WINDOW_CLASS_W;
  RegisterClassW(&window_class);
  g_window = CreateWindowExW(0, QUILLORY_WINDOW_CLASS_W, L"Quillory",
                             WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                             window_class.hInstance, nullptr);
  SetEvent(g_ready);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

}  // namespace

extern "C" void WINAPI mainCRTStartup() {
  CreateDirectoryW(L"C:\\out", nullptr);
  g_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE client = CreateThread(nullptr, 0, ClientThread, nullptr, 0, nullptr);
  WaitForSingleObject(g_ready, INFINITE);

  HMODULE mapi = LoadLibraryW(L"mapi32.dll");
  auto send = reinterpret_cast<LPMAPISENDMAIL>(
      reinterpret_cast<void *>(GetProcAddress(mapi, "MAPISendMail")));
  MapiMessage message;
  if (send == nullptr) {
    Report("no MAPISendMail in mapi32.dll\r\n");
  } else {
    for (int i = 0; i < quillory_test::kPlainMessageCount; ++i) {
      quillory_test::MakePlainMessage(i, &g_storage, &message);
      Report("message ");
      ReportNumber(static_cast<unsigned long>(i));
      Report(" ");
      ReportNumber(send(0, 0, &message, 0, 0));
      Report("\r\n");
    }
    Report("null ");
    ReportNumber(send(0, 0, nullptr, 0, 0));
    Report("\r\n");

    // The 1 MiB note needs fresh storage, which the provider cannot have.
    HMODULE provider = GetModuleHandleW(L"Quillory_MapiDll_ARM64.dll");
    if (provider != nullptr && quillory_test::FailMalloc(provider)) {
      quillory_test::MakePlainMessage(quillory_test::kPlainMessageCount - 1,
                                      &g_storage, &message);
      Report("out_of_memory ");
      ReportNumber(send(0, 0, &message, 0, 0));
      Report("\r\n");
    }
  }

  // Every Quillory_MapiDll module in the process: the file mapi32.dll
  // loaded.
  static const wchar_t *const kNames[] = {L"Quillory_MapiDll_ARM64.dll",
                                          L"Quillory_MapiDll_AMD64.dll",
                                          L"Quillory_MapiDll_x86.dll"};
  for (const wchar_t *name : kNames) {
    HMODULE module = GetModuleHandleW(name);
    wchar_t path[MAX_PATH];
    if (module == nullptr || GetModuleFileNameW(module, path, MAX_PATH) == 0) {
      continue;
    }
    char narrow[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, path, -1, narrow, sizeof(narrow), nullptr,
                        nullptr);
    Report("provider ");
    Report(narrow);
    Report("\r\n");
  }
  DWORD length = 0;
  while (g_report[length] != '\0') ++length;
  WriteWholeFile(L"C:\\out\\result.txt", g_report, length);

  PostMessageW(g_window, WM_CLOSE, 0, 0);
  WaitForSingleObject(client, 5000);
  ExitProcess(0);
}

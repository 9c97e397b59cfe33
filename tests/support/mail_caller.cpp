// A mail-enabled program as far as Simple MAPI goes: loads a provider with
// LoadLibrary and GetProcAddress, either a DLL named directly or the
// system's Simple MAPI layer (mapi32.dll), and sends one message, a sample
// or one the command line gives (caller_options.cpp holds the options and
// --help). Results go to files, since a program the provider starts
// inherits this one's standard output.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "caller_options.h"
#include "fail_malloc.h"
#include "handoff/handoff.h"
#include "handoff/win32_platform.h"
#include "packet_strings.h"
#include "sample_messages.h"
#include "simple_mapi.h"
#include "standin_messages.h"

namespace {

using quillory::CLIENT_WINDOW_CLASS;
using quillory::SENDMAIL_DATA_ID;

using Options = quillory_test::CallerOptions;

std::string Utf8(const wchar_t *wide) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

// As a mail-enabled program makes its own text 8-bit: what the ANSI code
// page lacks becomes its default character or a best-fit look-alike.
std::string Ansi(const std::wstring &wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), size, out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::optional<std::string> Ansi(const std::optional<std::wstring> &wide) {
  if (!wide) return std::nullopt;
  return Ansi(*wide);
}

std::optional<std::string> ReadBytes(const std::wstring &path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  BOOL ok = TRUE;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) != FALSE &&
         got > 0) {
    bytes.append(buffer, got);
  }
  CloseHandle(file);
  if (ok == FALSE) return std::nullopt;
  return bytes;
}

// The folder and its parents, as mkdir -p makes them: the result files go
// there. A prefix that is a drive or a share fails harmlessly.
void MakeFolders(const std::wstring &path) {
  for (std::size_t at = path.find_first_of(L"\\/", 1); at != std::wstring::npos;
       at = path.find_first_of(L"\\/", at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

bool WriteBytes(const std::wstring &path, const std::string &bytes) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(
      file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok != FALSE && written == bytes.size();
}

// LoadLibraryW refuses plain paths past MAX_PATH; the \\?\ form is not.
HMODULE LoadProvider(const Options &options) {
  if (options.mapi32) return LoadLibraryW(L"mapi32.dll");
  std::wstring path = options.dll;
  if (path.size() >= MAX_PATH && path.rfind(L"\\\\", 0) != 0) {
    path = L"\\\\?\\" + path;
  }
  return LoadLibraryW(path.c_str());
}

// Ends clients until no client window is left, for up to 10 s: a window
// can outlive its process by a moment. Exit code 1 if one is still there.
int KillClients() {
  int killed = 0;
  const ULONGLONG give_up = GetTickCount64() + 10000;
  HWND window = FindWindowW(CLIENT_WINDOW_CLASS, nullptr);
  while (window != nullptr && GetTickCount64() < give_up) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    HANDLE process =
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id);
    if (process != nullptr) {
      if (TerminateProcess(process, 0) != FALSE) ++killed;
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    } else {
      Sleep(100);
    }
    window = FindWindowW(CLIENT_WINDOW_CLASS, nullptr);
  }
  std::printf("ended %d client process(es)%s\n", killed,
              window != nullptr ? "; a client window is still there" : "");
  return window != nullptr ? 1 : 0;
}

// A plain WM_COPYDATA of size bytes at data (null for none) to window, as a
// sender without the provider would make it.
void BareSend(HWND window, ULONG_PTR data_id, const char *data, size_t size) {
  COPYDATASTRUCT copy{data_id, static_cast<DWORD>(size),
                      const_cast<char *>(data)};
  SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
}

void BareSend(HWND window, ULONG_PTR data_id, const std::string &bytes) {
  BareSend(window, data_id, bytes.data(), bytes.size());
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The provider's whole call against a bare WM_COPYDATA of the same packet
// to the same window, and against one of a fresh copy of it (the provider
// must allocate its packet, and fresh memory costs page faults here),
// alternating rounds so that all see the same machine.
struct Timing {
  double call_ms;
  double bare_ms;
  double fresh_bare_ms;
};

Timing TimeAgainstBareSends(LPMAPISENDMAIL send_mail, HWND window,
                            MapiMessage *message, int count, int rounds) {
  const std::string packet = quillory::BuildMailPacketBytes(*message).value();
  std::vector<double> series[3];
  const auto time = [&](std::vector<double> &into, auto &&operation) {
    LARGE_INTEGER a;
    LARGE_INTEGER b;
    QueryPerformanceCounter(&a);
    for (int i = 0; i < count; ++i) operation();
    QueryPerformanceCounter(&b);
    into.push_back(Milliseconds(a, b));
  };
  for (int round = 0; round < rounds; ++round) {
    time(series[0], [&] { send_mail(0, 0, message, 0, 0); });
    time(series[1], [&] { BareSend(window, SENDMAIL_DATA_ID, packet); });
    time(series[2], [&] {
      // The fresh allocation is what this series measures.
      // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
      const std::string fresh(packet);
      BareSend(window, SENDMAIL_DATA_ID, fresh);
    });
  }
  return {Median(series[0]), Median(series[1]), Median(series[2])};
}

int Bench(LPMAPISENDMAIL send_mail, const Options &options) {
  HWND window = FindWindowW(CLIENT_WINDOW_CLASS, nullptr);
  if (window == nullptr) {
    std::printf("no client window to measure against\n");
    return 1;
  }
  quillory_test::SampleMessage small;
  quillory_test::MakeSampleMessage("sample", &small);
  quillory_test::SampleMessage large;
  quillory_test::MakeSampleMessage("large", &large);
  const Timing many =
      TimeAgainstBareSends(send_mail, window, &small.message, options.bench, 7);
  const Timing one =
      TimeAgainstBareSends(send_mail, window, &large.message, 1, 41);
  // Where the provider's time goes beyond the send itself.
  auto per_call_us = [&](auto &&operation) {
    LARGE_INTEGER a;
    LARGE_INTEGER b;
    QueryPerformanceCounter(&a);
    for (int i = 0; i < options.bench; ++i) operation();
    QueryPerformanceCounter(&b);
    return 1000.0 * Milliseconds(a, b) / options.bench;
  };
  const double find_us =
      per_call_us([&] { FindWindowW(CLIENT_WINDOW_CLASS, nullptr); });
  const double owner_us = per_call_us([&] {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
  });
  const double allow_us = per_call_us([&] { AllowSetForegroundWindow(1); });
  const std::string small_packet =
      quillory::BuildMailPacketBytes(small.message).value();
  const double timeout_send_us = per_call_us([&] {
    COPYDATASTRUCT data{SENDMAIL_DATA_ID,
                        static_cast<DWORD>(small_packet.size()),
                        const_cast<char *>(small_packet.data())};
    DWORD_PTR reply = 0;
    SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, 300000, &reply);
  });
  const double plain_send_us =
      per_call_us([&] { BareSend(window, SENDMAIL_DATA_ID, small_packet); });
  const double build_us = per_call_us([&] {
    (void)quillory::BuildMailPacketBytes(small.message).value().size();
  });
  // What the hand-off must do beyond a bare send, whatever the packet: two
  // look-ups and a bounded send (each a round trip to the Wine server).
  const double required_us =
      find_us + owner_us + allow_us + timeout_send_us - plain_send_us;
  char report[2048];
  std::snprintf(
      report, sizeof report,
      "%d calls of a small message: %.1f ms; %d bare sends: %.1f ms\r\n"
      "ratio small calls / bare sends %.2fx (target at most 1.1x) %s\r\n"
      "512 KiB note: call %.3f ms; bare send %.3f ms; bare send of a fresh "
      "copy %.3f ms\r\n"
      "ratio large call / bare send of a fresh copy %.2fx (target at most "
      "1.15x) %s; / bare send of the same packet %.2fx\r\n"
      "per call: FindWindowW %.1f us, GetWindowThreadProcessId %.1f us, "
      "AllowSetForegroundWindow %.1f us, SendMessageTimeoutW %.1f us, "
      "SendMessageW %.1f us, BuildMailPacket %.1f us\r\n"
      "look-ups and bounded send beyond a bare send: %.1f us a call, "
      "%.2fx of a small bare send\r\n",
      options.bench, many.call_ms, options.bench, many.bare_ms,
      many.call_ms / many.bare_ms,
      many.call_ms <= 1.1 * many.bare_ms ? "ok" : "OVER TARGET", one.call_ms,
      one.bare_ms, one.fresh_bare_ms, one.call_ms / one.fresh_bare_ms,
      one.call_ms <= 1.15 * one.fresh_bare_ms ? "ok" : "OVER TARGET",
      one.call_ms / one.bare_ms, find_us, owner_us, allow_us, timeout_send_us,
      plain_send_us, build_us, required_us,
      1.0 + required_us * options.bench / 1000.0 / many.bare_ms);
  WriteBytes(options.out + L"\\bench.txt", report);
  return 0;
}

// "provider PATH" for each module of this process whose name starts with
// Quillory_MapiDll: which file the system's mail layer really loaded.
std::string LoadedProviders() {
  constexpr wchar_t kPrefix[] = L"Quillory_MapiDll";
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  std::string out;
  MODULEENTRY32W module;
  module.dwSize = sizeof module;
  for (BOOL more = Module32FirstW(snapshot, &module); more != FALSE;
       more = Module32NextW(snapshot, &module)) {
    if (_wcsnicmp(module.szModule, kPrefix, std::size(kPrefix) - 1) == 0) {
      out += "provider " + Utf8(module.szExePath) + "\r\n";
    }
  }
  CloseHandle(snapshot);
  return out;
}

void WriteResult(const Options &options, ULONG result, ULONGLONG elapsed) {
  const std::string report = "result " + std::to_string(result) +
                             "\r\nelapsed_ms " + std::to_string(elapsed) +
                             "\r\n" + LoadedProviders();
  WriteBytes(options.out + L"\\result.txt", report);
  std::printf("%s", report.c_str());
}

// Many calls in a row, then what the client counted: every call that
// succeeded must have arrived, and every arrival must have been a success.
int Repeat(LPMAPISENDMAIL send_mail, MapiMessage *message,
           const Options &options) {
  int succeeded = 0;
  ULONGLONG slowest = 0;
  for (int i = 0; i < options.repeat; ++i) {
    const ULONGLONG start = GetTickCount64();
    if (send_mail(0, 0, message, 0, 0) == SUCCESS_SUCCESS) ++succeeded;
    slowest = std::max(slowest, GetTickCount64() - start);
  }
  // Asked again while the window asked is gone before it answers, as a
  // client that keeps replacing it may do.
  DWORD_PTR received = 0;
  bool counted = false;
  for (int ask = 0; ask < 100 && !counted; ++ask) {
    HWND client = FindWindowW(CLIENT_WINDOW_CLASS, nullptr);
    counted =
        client != nullptr &&
        SendMessageTimeoutW(client, quillory_test::STANDIN_COUNT_MESSAGE, 0, 0,
                            SMTO_ABORTIFHUNG, 10000, &received) != 0;
  }
  const std::string report =
      "calls " + std::to_string(options.repeat) + "\r\nsucceeded " +
      std::to_string(succeeded) + "\r\nreceived " +
      (counted ? std::to_string(received) : std::string("unknown")) +
      "\r\nslowest_ms " + std::to_string(slowest) + "\r\n";
  WriteBytes(options.out + L"\\result.txt", report);
  std::printf("%s", report.c_str());
  return 0;
}

// The message the command line asks for into *m: a sample ("sample" by
// default) or the user's own, its text made 8-bit as the caller's own
// would be. *message is null for "null". False when a --note-file cannot
// be read.
bool MakeCallerMessage(const Options &options, quillory_test::SampleMessage *m,
                       MapiMessage **message) {
  *message = nullptr;
  if (!quillory_test::HasOwnMessage(options)) {
    const std::string name =
        options.message.empty() ? "sample" : Utf8(options.message.c_str());
    if (name == "null") return true;
    *message = &m->message;
    return quillory_test::MakeSampleMessage(name, m);
  }
  quillory_test::OwnMessage own;
  own.subject = Ansi(options.subject);
  own.note = Ansi(options.note);
  if (options.note_file) {
    own.note = ReadBytes(*options.note_file);
    if (!own.note) {
      std::fprintf(stderr, "cannot read --note-file %s (error %lu)\n",
                   Utf8(options.note_file->c_str()).c_str(), GetLastError());
      return false;
    }
  }
  for (const quillory_test::CallerRecipient &r : options.recipients) {
    own.recipients.push_back({r.recip_class, Ansi(r.name), Ansi(r.address)});
  }
  for (const quillory_test::CallerAttachment &f : options.attachments) {
    own.files.push_back({Ansi(f.path), Ansi(f.file_name)});
  }
  quillory_test::MakeOwnMessage(own, m);
  *message = &m->message;
  return true;
}

void MakeClientBusy(DWORD ms) {
  HWND client = FindWindowW(CLIENT_WINDOW_CLASS, nullptr);
  PostMessageW(client, quillory_test::STANDIN_BUSY_MESSAGE, ms, 0);
  // Sent messages go before posted ones: let the client take this first.
  Sleep(300);
}

// The hand-off with a send bound short enough to reach in a test; result 0
// when it reports the packet delivered.
int DirectHandOff(const Options &options) {
  quillory_test::SampleMessage sample;
  MapiMessage *message = nullptr;
  if (!MakeCallerMessage(options, &sample, &message) || message == nullptr) {
    return 2;
  }
  const std::string packet = quillory::BuildMailPacketBytes(*message).value();
  if (options.busy_client_ms > 0) MakeClientBusy(options.busy_client_ms);
  const ULONGLONG start = GetTickCount64();
  const bool delivered =
      quillory::HandOffToClient(
          quillory::Win32HandOffPlatform(options.handoff_timeout_ms),
          packet.data(), packet.size()) == quillory::Outcome::kDelivered;
  WriteResult(options, delivered ? SUCCESS_SUCCESS : MAPI_E_FAILURE,
              GetTickCount64() - start);
  return 0;
}

// What a confused or hostile sender might put in front of the client.
int SendRaw(ULONG_PTR data_id, bool empty) {
  HWND window = FindWindowW(CLIENT_WINDOW_CLASS, nullptr);
  if (window == nullptr) return 1;
  if (empty) {
    BareSend(window, data_id, nullptr, 0);
  } else {
    BareSend(window, data_id, std::string("\x07\0\0", 3));
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  Options options;
  std::wstring error;
  if (!quillory_test::ParseCallerOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "%s\n", Utf8(error.c_str()).c_str());
    return 2;
  }
  if (options.help) {
    std::printf("%s", quillory_test::CallerHelp().c_str());
    return 0;
  }
  MakeFolders(options.out);
  // Never pumped here: only the provider's waits can answer what is sent
  // to it.
  if (options.own_window &&
      CreateWindowExW(0, L"STATIC", L"mail caller", WS_OVERLAPPEDWINDOW, 0, 0,
                      200, 100, nullptr, nullptr, nullptr,
                      nullptr) == nullptr) {
    std::printf("cannot make the caller's window\n");
    return 3;
  }
  if (options.kill_clients) return KillClients();
  if (options.handoff_timeout_ms > 0) return DirectHandOff(options);
  if (options.send_raw) {
    return SendRaw(static_cast<ULONG_PTR>(options.raw_data_id),
                   options.send_empty);
  }
  HMODULE provider = LoadProvider(options);
  if (provider == nullptr) {
    std::printf("cannot load the provider (error %lu)\n", GetLastError());
    return 3;
  }
  const auto send_mail = reinterpret_cast<LPMAPISENDMAIL>(
      reinterpret_cast<void (*)()>(GetProcAddress(provider, "MAPISendMail")));
  if (send_mail == nullptr) {
    std::printf("the provider exports no MAPISendMail\n");
    return 3;
  }
  if (options.fail_malloc &&
      (options.mapi32 || !quillory_test::FailMalloc(provider))) {
    std::printf("cannot point the provider's malloc elsewhere\n");
    return 3;
  }
  if (options.bench > 0) return Bench(send_mail, options);

  quillory_test::SampleMessage sample;
  MapiMessage *message = nullptr;
  if (!MakeCallerMessage(options, &sample, &message)) return 2;
  if (message != nullptr) {
    WriteBytes(options.out + L"\\expected.bin",
               quillory::BuildMailPacketBytes(*message).value());
  }
  if (options.repeat > 0) return Repeat(send_mail, message, options);
  if (options.busy_client_ms > 0) MakeClientBusy(options.busy_client_ms);

  const ULONGLONG start = GetTickCount64();
  const ULONG result = send_mail(static_cast<LHANDLE>(options.session), 0,
                                 message, options.flags, 0);
  WriteResult(options, result, GetTickCount64() - start);
  return 0;
}

#include "caller_options.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "sample_messages.h"
#include "simple_mapi.h"

namespace quillory_test {

namespace {

using Apply = bool (*)(CallerOptions *, const std::wstring &);

// One option, or a heading of --help where name is null. value names the
// option's argument; null for an option that takes none.
struct OptionRow {
  const wchar_t *name;
  const char *value;
  const char *help;
  Apply apply;
};

std::wstring Widen(const char *ascii) {
  std::wstring out;
  for (; *ascii != '\0'; ++ascii) out += static_cast<wchar_t>(*ascii);
  return out;
}

// Decimal, or hex after 0x; the whole text, at most max.
bool ParseNumber(const std::wstring &text, std::uint64_t max,
                 std::uint64_t *value) {
  const bool hex = text.size() > 2 && text[0] == L'0' &&
                   (text[1] == L'x' || text[1] == L'X');
  const std::uint64_t base = hex ? 16 : 10;
  std::uint64_t n = 0;
  if (text.empty()) return false;
  for (std::size_t i = hex ? 2 : 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    std::uint64_t digit = base;
    if (c >= L'0' && c <= L'9') {
      digit = static_cast<std::uint64_t>(c) - L'0';
    } else if (hex && c >= L'a' && c <= L'f') {
      digit = static_cast<std::uint64_t>(c) - L'a' + 10;
    } else if (hex && c >= L'A' && c <= L'F') {
      digit = static_cast<std::uint64_t>(c) - L'A' + 10;
    }
    if (digit >= base || n > (max - digit) / base) return false;
    n = n * base + digit;
  }
  *value = n;
  return true;
}

template <typename T>
bool SetNumber(const std::wstring &text, T *into) {
  std::uint64_t n = 0;
  if (!ParseNumber(text,
                   static_cast<std::uint64_t>(std::numeric_limits<T>::max()),
                   &n)) {
    return false;
  }
  *into = static_cast<T>(n);
  return true;
}

bool IsQuoted(const std::wstring &text) {
  return text.size() >= 2 && text.front() == L'"' && text.back() == L'"';
}

std::wstring Trimmed(const std::wstring &text) {
  const std::size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// "Name <address>" (split at the last <, the name's quotes and the spaces
// around it dropped), "<address>", a quoted name, or bare: an address when
// it holds @, else a name. A < or > elsewhere is refused: it would be
// anyone's guess which part the user meant.
bool SplitRecipient(const std::wstring &text, std::uint32_t recip_class,
                    CallerRecipient *out) {
  CallerRecipient r;
  r.recip_class = recip_class;
  const std::size_t open = text.rfind(L'<');
  if (!text.empty() && text.back() == L'>' && open != std::wstring::npos) {
    const std::wstring name = Trimmed(text.substr(0, open));
    r.address = text.substr(open + 1, text.size() - open - 2);
    if (IsQuoted(name)) {
      r.name = name.substr(1, name.size() - 2);
    } else if (!name.empty()) {
      r.name = name;
    }
  } else if (IsQuoted(text)) {
    r.name = text.substr(1, text.size() - 2);
  } else if (text.find_first_of(L"<>") != std::wstring::npos) {
    return false;
  } else if (text.find(L'@') != std::wstring::npos) {
    r.address = text;
  } else {
    r.name = text;
  }
  *out = std::move(r);
  return true;
}

bool AddRecipient(CallerOptions *o, const std::wstring &text,
                  std::uint32_t recip_class) {
  CallerRecipient r;
  if (!SplitRecipient(text, recip_class, &r)) return false;
  o->recipients.push_back(std::move(r));
  return true;
}

bool IsSample(const std::wstring &name) {
  const auto &samples = SampleMessages();
  return name == L"null" ||
         std::any_of(samples.begin(), samples.end(), [&](const SampleInfo &s) {
           return name == Widen(s.name);
         });
}

// Captureless lambdas, so that the table stays plain data.
const OptionRow kOptions[] = {
    {nullptr, nullptr, "Where MAPISendMail comes from (one of them):", nullptr},
    {L"--dll", "PATH", "a provider DLL, loaded by its path",
     [](CallerOptions *o, const std::wstring &v) {
       o->dll = v;
       return true;
     }},
    {L"--mapi32", nullptr,
     "the system's Simple MAPI layer, which loads the registered provider",
     [](CallerOptions *o, const std::wstring &) {
       o->mapi32 = true;
       return true;
     }},
    {nullptr, nullptr,
     "The message: a sample, or one of your own (default: --message sample):",
     nullptr},
    {L"--message", "NAME", "a sample message (below), or null for no message",
     [](CallerOptions *o, const std::wstring &v) {
       o->message = v;
       return IsSample(v);
     }},
    {L"--subject", "TEXT", "the subject",
     [](CallerOptions *o, const std::wstring &v) {
       o->subject = v;
       return true;
     }},
    {L"--note", "TEXT", "the note text",
     [](CallerOptions *o, const std::wstring &v) {
       o->note = v;
       return true;
     }},
    {L"--note-file", "PATH",
     "the note text: the file's bytes as they are, up to a NUL byte",
     [](CallerOptions *o, const std::wstring &v) {
       o->note_file = v;
       return true;
     }},
    {L"--to", "TEXT",
     "a To recipient: \"Name <address>\", an address (holds @) or a name",
     [](CallerOptions *o, const std::wstring &v) {
       return AddRecipient(o, v, MAPI_TO);
     }},
    {L"--cc", "TEXT", "a Cc recipient, the same forms",
     [](CallerOptions *o, const std::wstring &v) {
       return AddRecipient(o, v, MAPI_CC);
     }},
    {L"--bcc", "TEXT", "a Bcc recipient, the same forms",
     [](CallerOptions *o, const std::wstring &v) {
       return AddRecipient(o, v, MAPI_BCC);
     }},
    {L"--attach", "PATH[|NAME]",
     "a file, sent as given (give a full path); NAME its display name",
     [](CallerOptions *o, const std::wstring &v) {
       const std::size_t bar = v.find(L'|');
       CallerAttachment a{v.substr(0, bar), std::nullopt};
       if (bar != std::wstring::npos) a.file_name = v.substr(bar + 1);
       o->attachments.push_back(std::move(a));
       return true;
     }},
    {L"--flags", "N", "flFlags of the call (default 0)",
     [](CallerOptions *o, const std::wstring &v) {
       return SetNumber(v, &o->flags);
     }},
    {L"--session", "N", "lhSession of the call (default 0)",
     [](CallerOptions *o, const std::wstring &v) {
       return SetNumber(v, &o->session);
     }},
    {L"--out", "DIR",
     "where result.txt and expected.bin go (default: here; made if missing)",
     [](CallerOptions *o, const std::wstring &v) {
       o->out = v;
       return true;
     }},
    {nullptr, nullptr,
     "Stray messages straight to the client window:", nullptr},
    {L"--send-raw", "N", "three bytes that are no packet, under dwData N",
     [](CallerOptions *o, const std::wstring &v) {
       o->send_raw = true;
       o->send_empty = false;
       return SetNumber(v, &o->raw_data_id);
     }},
    {L"--send-empty", "N", "no data at all (cbData 0, lpData null), dwData N",
     [](CallerOptions *o, const std::wstring &v) {
       o->send_raw = true;
       o->send_empty = true;
       return SetNumber(v, &o->raw_data_id);
     }},
    {nullptr, nullptr, "For the test rig:", nullptr},
    {L"--kill-clients", nullptr,
     "end every process that owns a client window (exit 1 if one is left)",
     [](CallerOptions *o, const std::wstring &) {
       o->kill_clients = true;
       return true;
     }},
    {L"--repeat", "N",
     "N calls; result.txt: calls, succeeded, received, slowest_ms",
     [](CallerOptions *o, const std::wstring &v) {
       return SetNumber(v, &o->repeat);
     }},
    {L"--bench", "N",
     "N calls against N bare sends to a running client, into bench.txt",
     [](CallerOptions *o, const std::wstring &v) {
       return SetNumber(v, &o->bench);
     }},
    {L"--handoff-timeout-ms", "MS",
     "the hand-off linked in, not a DLL, with its send bound cut to MS",
     [](CallerOptions *o, const std::wstring &v) {
       return SetNumber(v, &o->handoff_timeout_ms);
     }},
    {L"--busy-client-ms", "MS",
     "first stop the stand-in client reading messages for MS (with --dll too)",
     [](CallerOptions *o, const std::wstring &v) {
       return SetNumber(v, &o->busy_client_ms);
     }},
    {L"--own-window", nullptr,
     "own a top-level window during the call, as most callers do",
     [](CallerOptions *o, const std::wstring &) {
       o->own_window = true;
       return true;
     }},
    {L"--fail-malloc", nullptr,
     "with --dll: the provider's malloc returns null (its import pointed "
     "elsewhere; the DLL is unchanged)",
     [](CallerOptions *o, const std::wstring &) {
       o->fail_malloc = true;
       return true;
     }},
};

const char kHelpHead[] =
    "quillory_mail_caller: a mail-enabled program as far as Simple MAPI goes.\n"
    "It loads a provider, sends one message through MAPISendMail as such\n"
    "programs do, and writes the outcome to files, since a client that the\n"
    "provider starts inherits this program's output.\n"
    "\n"
    "usage: quillory_mail_caller --dll PATH | --mapi32 [MESSAGE] [--out DIR]\n"
    "       quillory_mail_caller --send-raw N | --send-empty N\n"
    "       quillory_mail_caller --help | -h | /?\n";

const char kHelpTail[] =
    "\n"
    "Command-line text becomes 8-bit text in the ANSI code page, converted as\n"
    "a mail-enabled program converts its own (WideCharToMultiByte, CP_ACP):\n"
    "a character that code page lacks becomes ? or a look-alike letter.\n"
    "Recipients are sent in the order given; none is checked or resolved.\n"
    "\n"
    "Files in the --out folder:\n"
    "  result.txt    result N: 0 SUCCESS_SUCCESS, 2 MAPI_E_FAILURE,\n"
    "                5 MAPI_E_INSUFFICIENT_MEMORY (others from the system's\n"
    "                layer); elapsed_ms N; provider PATH for each provider "
    "DLL\n"
    "                loaded in this process\n"
    "  expected.bin  the packet the provider makes of the message, which the\n"
    "                client must receive byte for byte\n"
    "\n"
    "Exit codes: 0 the call was made (its result is in result.txt), or help;\n"
    "1 no client window to send to (--send-raw, --send-empty, --bench) or\n"
    "one left (--kill-clients); 2 a bad command line, or a --note-file that\n"
    "cannot be read; 3 the provider cannot be loaded or has no MAPISendMail.\n";

const OptionRow *FindOption(const std::wstring &name) {
  for (const OptionRow &row : kOptions) {
    if (row.name != nullptr && name == row.name) return &row;
  }
  return nullptr;
}

std::wstring Refusal(const std::wstring &what) {
  return what + L"; see --help";
}

}  // namespace

bool HasOwnMessage(const CallerOptions &options) {
  return options.subject || options.note || options.note_file ||
         !options.recipients.empty() || !options.attachments.empty();
}

bool ParseCallerOptions(int argc, const wchar_t *const *argv,
                        CallerOptions *options, std::wstring *error) {
  CallerOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
      *options = CallerOptions{};
      options->help = true;
      return true;
    }
    const OptionRow *row = FindOption(arg);
    if (row == nullptr) {
      *error = Refusal(L"unknown option: " + arg);
      return false;
    }
    std::wstring value;
    if (row->value != nullptr) {
      if (i + 1 >= argc) {
        *error = Refusal(L"incomplete option: " + arg + L" needs " +
                         Widen(row->value));
        return false;
      }
      value = argv[++i];
    }
    if (!row->apply(&o, value)) {
      std::wstring what = L"bad value for ";
      what += arg;
      what += L": ";
      what += value;
      *error = Refusal(what);
      return false;
    }
  }
  if (o.note && o.note_file) {
    *error = Refusal(L"--note and --note-file: give one note");
    return false;
  }
  if (!o.message.empty() && HasOwnMessage(o)) {
    *error = Refusal(L"--message and a message of your own: give one");
    return false;
  }
  if (!o.dll.empty() && o.mapi32) {
    *error = Refusal(L"--dll and --mapi32: give one");
    return false;
  }
  if (o.dll.empty() && !o.mapi32 && !o.kill_clients && !o.send_raw &&
      o.handoff_timeout_ms == 0) {
    *error = Refusal(L"name a provider: --dll PATH or --mapi32");
    return false;
  }
  *options = std::move(o);
  return true;
}

std::string CallerHelp() {
  std::string help = kHelpHead;
  for (const OptionRow &row : kOptions) {
    if (row.name == nullptr) {
      help += std::string("\n") + row.help + "\n";
      continue;
    }
    std::string left = "  ";
    for (const wchar_t *c = row.name; *c != L'\0'; ++c) {
      left += static_cast<char>(*c);
    }
    if (row.value != nullptr) left += std::string(" ") + row.value;
    left.resize(std::max<std::size_t>(left.size() + 1, 26), ' ');
    help += left + row.help + "\n";
  }
  help += "\nSample messages (--message NAME):\n";
  for (const SampleInfo &sample : SampleMessages()) {
    std::string left = std::string("  ") + sample.name;
    left.resize(std::max<std::size_t>(left.size() + 1, 16), ' ');
    help += left + sample.description + "\n";
  }
  return help + kHelpTail;
}

}  // namespace quillory_test

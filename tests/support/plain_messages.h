#ifndef QUILLORY_PLAIN_MESSAGES_H
#define QUILLORY_PLAIN_MESSAGES_H

// A spread of messages built in static storage alone, for a caller that has
// no C++ runtime (the ARM64 test caller) and for the host tool that writes
// the bytes the client must receive for each: the same definitions on both
// sides, so that a difference is the provider's.

#include <stddef.h>

#include "simple_mapi.h"

namespace quillory_test {

inline constexpr int kPlainMessageCount = 6;

// What the messages point into. Large: keep one, in static storage.
struct PlainStorage {
  char note[1 << 20];
  char subject[64];
  char path[64];
  MapiRecipDesc recipients[6];
  MapiFileDesc files[3];
};

namespace plain_detail {

// Lines of 1 to 119 bytes (no block size divides them all), each ended by
// `end`; stray CRs inside lines where `stray_cr` is set. Zero-terminated,
// `size` bytes long at most.
inline void FillNote(char *note, size_t size, const char *end, bool stray_cr) {
  size_t at = 0;
  size_t line = 0;
  for (;;) {
    const size_t length = 1 + (line * 37) % 119;
    size_t end_length = 0;
    while (end[end_length] != '\0') ++end_length;
    if (at + length + end_length + 1 > size) break;
    for (size_t i = 0; i < length; ++i) {
      note[at++] = stray_cr && i == length / 2
                       ? '\r'
                       : static_cast<char>('a' + (i + line) % 26);
    }
    for (size_t i = 0; i < end_length; ++i) note[at++] = end[i];
    ++line;
  }
  note[at] = '\0';
}

inline void Copy(char *to, const char *from) {
  while ((*to++ = *from++) != '\0') {
  }
}

}  // namespace plain_detail

// Message `index` (0 to kPlainMessageCount - 1), pointing into storage.
inline void MakePlainMessage(int index, PlainStorage *s, MapiMessage *m) {
  using plain_detail::Copy;
  *m = MapiMessage{};
  for (MapiRecipDesc &r : s->recipients) r = MapiRecipDesc{};
  for (MapiFileDesc &f : s->files) f = MapiFileDesc{};
  s->note[0] = '\0';
  switch (index) {
    case 0:  // Empty: 16 zero bytes.
      break;
    case 1:  // The worked example.
      Copy(s->subject, "AB");
      Copy(s->note, "x\ry");
      Copy(s->path, "C:\\f");
      m->lpszSubject = s->subject;
      m->lpszNoteText = s->note;
      s->recipients[0].lpszName = const_cast<char *>("N");
      s->recipients[0].lpszAddress = const_cast<char *>("a");
      s->files[0].lpszPathName = s->path;
      m->nRecipCount = 1;
      m->lpRecips = s->recipients;
      m->nFileCount = 1;
      m->lpFiles = s->files;
      break;
    case 2:  // CR LF text as Windows programs send it; every recipient form.
      Copy(s->subject, "Re: report\r\nsecond line");
      plain_detail::FillNote(s->note, 40000, "\r\n", false);
      m->lpszSubject = s->subject;
      m->lpszNoteText = s->note;
      m->flFlags = MAPI_DIALOG;
      s->recipients[0].lpszName = const_cast<char *>("Ann");
      s->recipients[0].ulRecipClass = MAPI_TO;
      s->recipients[1].lpszAddress = const_cast<char *>("SMTP:bob@example.org");
      s->recipients[1].ulRecipClass = MAPI_CC;
      s->recipients[2].ulRecipClass = MAPI_BCC;
      s->recipients[3].lpszName = const_cast<char *>("");
      s->recipients[3].lpszAddress = const_cast<char *>("");
      s->recipients[4].lpszName =
          const_cast<char *>("Bob\" <evil@x.example>, \"x");
      s->recipients[4].lpszAddress = const_cast<char *>("b@y.example");
      s->recipients[5].ulRecipClass = MAPI_ORIG;
      s->recipients[5].lpszAddress = const_cast<char *>("me@here.example");
      m->nRecipCount = 6;
      m->lpRecips = s->recipients;
      break;
    case 3:  // LF text with stray CRs; 8-bit bytes; a file without a path.
      Copy(s->subject, "\xC4pfel \xE9t\xE9");
      Copy(s->path, "C:\\Users\\M\xFCller\\Doc\r\n.pdf");
      plain_detail::FillNote(s->note, 10000, "\n", true);
      m->lpszSubject = s->subject;
      m->lpszNoteText = s->note;
      s->files[0].lpszPathName = s->path;
      s->files[1].lpszPathName = nullptr;
      s->files[2].lpszPathName = s->path;
      m->nFileCount = 3;
      m->lpFiles = s->files;
      break;
    case 4:  // CR-only text; counts without their arrays.
      Copy(s->note, "1\r2\r\r3");
      m->lpszNoteText = s->note;
      m->nRecipCount = 3;
      m->nFileCount = 2;
      break;
    default:  // A note past many grow steps.
      plain_detail::FillNote(s->note, sizeof(s->note), "\r\n", false);
      m->lpszNoteText = s->note;
      break;
  }
}

}  // namespace quillory_test

#endif

/* quillory_packet.h - v1.1 - the wire contract between the Quillory
 * Simple MAPI provider and the mail client: the window the provider looks
 * for, the dwData of its WM_COPYDATA, and a reader of the MailPacket it
 * carries (docs/client.md says what surrounds it, docs/packet.md what each
 * byte means). MIT licence: see the end of this file.
 *
 * Versions: 1.1 adds QUILLORY_WINDOW_CLASS and QUILLORY_WINDOW_CLASS_W
 * (test for them with #ifdef); 1.0 the reader. The packet's bytes are the
 * same in both.
 *
 * C99, also valid C++, and no <windows.h>: it builds anywhere. Single-file
 * style: in exactly one C or C++ source of the client, write
 *
 *     #define QUILLORY_PACKET_IMPLEMENTATION
 *     #include "quillory_packet.h"
 *
 * and include it plainly everywhere else.
 *
 * Use, inside the WM_COPYDATA handler (the packet is readable only there):
 *
 *     const COPYDATASTRUCT *data = (const COPYDATASTRUCT *)lparam;
 *     quillory_mail mail;
 *     quillory_text entry;
 *     if (data == NULL || data->dwData != QUILLORY_COPYDATA_ID) return FALSE;
 *     if (!quillory_read_mail(data->lpData, data->cbData, &mail)) {
 *       ... malformed: drop it, return TRUE, and tell the user only once
 *       the handler has returned (never in it) ...
 *     }
 *     while (quillory_next(&mail.recipients, &entry)) {
 *       ... copy entry.size bytes from entry.data ...
 *     }
 *
 * Every length and count is checked once, in quillory_read_mail, against
 * the bytes that remain; walking the lists afterwards cannot fail or read
 * outside the packet. Nothing is allocated and nothing is copied: the
 * views point into the packet. */
#ifndef QUILLORY_PACKET_H
#define QUILLORY_PACKET_H

#include <stddef.h>
#include <stdint.h>

/* The class of the client's main window, any title: the provider sends
 * to the first top-level window of this class it finds. Narrow for the A
 * functions and for C strings, wide (QUILLORY_WINDOW_CLASS_W) for the W
 * ones. */
#define QUILLORY_WINDOW_CLASS "QuilloryDlg"
/* The header's own helpers, for the wide form. */
#define QUILLORY_WIDEN_(text) L##text
#define QUILLORY_WIDEN(text) QUILLORY_WIDEN_(text)
#define QUILLORY_WINDOW_CLASS_W QUILLORY_WIDEN(QUILLORY_WINDOW_CLASS)

/* COPYDATASTRUCT.dwData of a MailPacket. */
#define QUILLORY_COPYDATA_ID 943

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes inside the packet: not NUL-terminated, and may hold NULs. Text is
 * in the calling program's ANSI code page. */
typedef struct quillory_text {
  const char *data;
  size_t size;
} quillory_text;

/* Entries not yet taken, and where the next one starts. A copy walks
 * independently of the original. */
typedef struct quillory_list {
  uint32_t count;
  const char *next;
} quillory_list;

typedef struct quillory_mail {
  quillory_text subject, note;
  quillory_list recipients, attachments;
} quillory_mail;

/* 1 when packet holds exactly one well-formed MailPacket: fills mail with
 * views into packet. 0 for anything else (truncated, trailing bytes, a
 * count or length past the end, a null pointer), mail untouched. */
int quillory_read_mail(const void *packet, size_t size, quillory_mail *mail);

/* 1 and the next entry while any remain, then 0; count goes down as
 * entries are taken. entry may be null, to skip one. */
int quillory_next(quillory_list *list, quillory_text *entry);

#ifdef __cplusplus
}
#endif

#endif /* QUILLORY_PACKET_H */

#if defined(QUILLORY_PACKET_IMPLEMENTATION) && \
    !defined(QUILLORY_PACKET_IMPLEMENTED)
#define QUILLORY_PACKET_IMPLEMENTED

/* Casts that read as intended in both languages, and that C++ warnings
 * about old-style casts accept. */
#ifdef __cplusplus
#define QUILLORY_PACKET_CAST(type, value) static_cast<type>(value)
#else
#define QUILLORY_PACKET_CAST(type, value) ((type)(value))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* C has no nullptr; NULL serves both languages. */
/* NOLINTBEGIN(modernize-use-nullptr) */

static uint32_t quillory_packet_u32(const char *at) {
  const uint32_t b0 = QUILLORY_PACKET_CAST(unsigned char, at[0]);
  const uint32_t b1 = QUILLORY_PACKET_CAST(unsigned char, at[1]);
  const uint32_t b2 = QUILLORY_PACKET_CAST(unsigned char, at[2]);
  const uint32_t b3 = QUILLORY_PACKET_CAST(unsigned char, at[3]);
  return b0 | b1 << 8 | b2 << 16 | b3 << 24;
}

/* One string record at *at, of the *left bytes that remain. Sizes are
 * size_t throughout: 4 + a length near 2^32 must not wrap. */
static int quillory_packet_take(const char **at, size_t *left,
                                quillory_text *text) {
  size_t length;
  if (*left < 4) return 0;
  length = quillory_packet_u32(*at);
  if (length > *left - 4) return 0;
  if (text != NULL) {
    text->data = *at + 4;
    text->size = length;
  }
  *at += 4 + length;
  *left -= 4 + length;
  return 1;
}

static int quillory_packet_take_list(const char **at, size_t *left,
                                     quillory_list *list) {
  uint32_t count;
  uint32_t i;
  if (*left < 4) return 0;
  count = quillory_packet_u32(*at);
  *at += 4;
  *left -= 4;
  /* Each entry takes at least its 4-byte length: a huge count in a short
   * packet is refused before a single entry is looked at. */
  if (count > *left / 4) return 0;
  list->count = count;
  list->next = *at;
  for (i = 0; i < count; ++i) {
    if (quillory_packet_take(at, left, NULL) == 0) return 0;
  }
  return 1;
}

int quillory_read_mail(const void *packet, size_t size, quillory_mail *mail) {
  const char *at = QUILLORY_PACKET_CAST(const char *, packet);
  size_t left = size;
  quillory_mail read;
  if (packet == NULL || mail == NULL) return 0;
  if (quillory_packet_take(&at, &left, &read.subject) == 0 ||
      quillory_packet_take(&at, &left, &read.note) == 0 ||
      quillory_packet_take_list(&at, &left, &read.recipients) == 0 ||
      quillory_packet_take_list(&at, &left, &read.attachments) == 0 ||
      left != 0) {
    return 0;
  }
  *mail = read;
  return 1;
}

int quillory_next(quillory_list *list, quillory_text *entry) {
  size_t length;
  if (list == NULL || list->count == 0) return 0;
  length = quillory_packet_u32(list->next);
  if (entry != NULL) {
    entry->data = list->next + 4;
    entry->size = length;
  }
  list->next += 4 + length;
  --list->count;
  return 1;
}

/* NOLINTEND(modernize-use-nullptr) */

#ifdef __cplusplus
}
#endif

#endif /* QUILLORY_PACKET_IMPLEMENTATION */

/* MIT License
 *
 * Copyright (c) 2026 Quillory
 *
 * Permission is hereby granted, free of charge, to any person obtaining a
 * copy of this software and associated documentation files (the
 * "Software"), to deal in the Software without restriction, including
 * without limitation the rights to use, copy, modify, merge, publish,
 * distribute, sublicense, and/or sell copies of the Software, and to
 * permit persons to whom the Software is furnished to do so, subject to
 * the following conditions:
 *
 * The above copyright notice and this permission notice shall be included
 * in all copies or substantial portions of the Software.
 *
 * THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS
 * OR IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF
 * MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT.
 * IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY
 * CLAIM, DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT,
 * TORT OR OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE
 * SOFTWARE OR THE USE OR OTHER DEALINGS IN THE SOFTWARE. */

// SPDX-License-Identifier: GPL-3.0-or-later
// The CD libraries, loaded when a real drive or a CD image is first asked for: a player on its
// virtual drive never needs them.
#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include "platform/lazy_library.h"

namespace {

using vantora::platform::LazyLibrary;

LazyLibrary& Cdio() {
  static LazyLibrary library(VANTORA_CDIO_SONAME);
  return library;
}
LazyLibrary& Cdda() {
  static LazyLibrary library(VANTORA_CDIO_CDDA_SONAME);
  return library;
}
LazyLibrary& Paranoia() {
  static LazyLibrary library(VANTORA_CDIO_PARANOIA_SONAME);
  return library;
}

}  // namespace

// Without the library there is no drive to open and no device to list; the calls that need an
// opened drive are never reached.
VANTORA_LAZY_CALL(Cdio(), CdIo_t*, cdio_open, (const char* source, driver_id_t driver),
                  (source, driver), nullptr)
VANTORA_LAZY_CALL(Cdio(), void, cdio_destroy, (CdIo_t * cdio), (cdio), void())
VANTORA_LAZY_CALL(Cdio(), char**, cdio_get_devices, (driver_id_t driver), (driver), nullptr)
VANTORA_LAZY_CALL(Cdio(), void, cdio_free_device_list, (char* list[]), (list), void())
VANTORA_LAZY_CALL(Cdio(), driver_return_code_t, cdio_close_tray,
                  (const char* drive, driver_id_t* driver), (drive, driver), DRIVER_OP_NO_DRIVER)
VANTORA_LAZY_CALL(Cdio(), driver_return_code_t, cdio_eject_media_drive, (const char* drive),
                  (drive), DRIVER_OP_NO_DRIVER)
VANTORA_LAZY_CALL(Cdio(), const char*, cdio_driver_errmsg, (driver_return_code_t code), (code),
                  "the CD library cannot be loaded")
VANTORA_LAZY_CALL(Cdio(), const char*, cdio_get_arg, (const CdIo_t* cdio, const char key[]),
                  (cdio, key), nullptr)
VANTORA_LAZY_CALL(Cdio(), cdtext_t*, cdio_get_cdtext, (CdIo_t * cdio), (cdio), nullptr)
VANTORA_LAZY_CALL(Cdio(), track_t, cdio_get_first_track_num, (const CdIo_t* cdio), (cdio),
                  CDIO_INVALID_TRACK)
VANTORA_LAZY_CALL(Cdio(), track_t, cdio_get_num_tracks, (const CdIo_t* cdio), (cdio),
                  CDIO_INVALID_TRACK)
VANTORA_LAZY_CALL(Cdio(), track_format_t, cdio_get_track_format,
                  (const CdIo_t* cdio, track_t track), (cdio, track), TRACK_FORMAT_ERROR)
VANTORA_LAZY_CALL(Cdio(), lsn_t, cdio_get_track_lsn, (const CdIo_t* cdio, track_t track),
                  (cdio, track), CDIO_INVALID_LSN)
VANTORA_LAZY_CALL(Cdio(), cdio_log_handler_t, cdio_log_set_handler, (cdio_log_handler_t handler),
                  (handler), nullptr)
VANTORA_LAZY_CALL(Cdio(), const char*, cdtext_get_const,
                  (const cdtext_t* text, cdtext_field_t field, track_t track), (text, field, track),
                  nullptr)
VANTORA_LAZY_CALL(Cdio(), cdtext_lang_t*, cdtext_list_languages_v2, (cdtext_t * text), (text),
                  nullptr)
VANTORA_LAZY_CALL(Cdio(), bool, cdtext_set_language_index, (cdtext_t * text, int index),
                  (text, index), false)

VANTORA_LAZY_CALL(Cdda(), cdrom_drive_t*, cdio_cddap_identify_cdio,
                  (CdIo_t * cdio, int messages, char** message), (cdio, messages, message), nullptr)
VANTORA_LAZY_CALL(Cdda(), int, cdio_cddap_open, (cdrom_drive_t * drive), (drive), -1)
VANTORA_LAZY_CALL(Cdda(), int, cdio_cddap_close, (cdrom_drive_t * drive), (drive), 0)
VANTORA_LAZY_CALL(Cdda(), lsn_t, cdio_cddap_disc_firstsector, (cdrom_drive_t * drive), (drive), -1)
VANTORA_LAZY_CALL(Cdda(), lsn_t, cdio_cddap_disc_lastsector, (cdrom_drive_t * drive), (drive), -1)
VANTORA_LAZY_CALL(Cdda(), int, cdio_cddap_speed_set, (cdrom_drive_t * drive, int speed),
                  (drive, speed), -1)
VANTORA_LAZY_CALL(Cdda(), void, cdio_cddap_verbose_set,
                  (cdrom_drive_t * drive, int errors, int messages), (drive, errors, messages),
                  void())

VANTORA_LAZY_CALL(Paranoia(), cdrom_paranoia_t*, cdio_paranoia_init, (cdrom_drive_t * drive),
                  (drive), nullptr)
VANTORA_LAZY_CALL(Paranoia(), void, cdio_paranoia_free, (cdrom_paranoia_t * paranoia), (paranoia),
                  void())
VANTORA_LAZY_CALL(Paranoia(), void, cdio_paranoia_modeset, (cdrom_paranoia_t * paranoia, int mode),
                  (paranoia, mode), void())
VANTORA_LAZY_CALL(Paranoia(), lsn_t, cdio_paranoia_seek,
                  (cdrom_paranoia_t * paranoia, int32_t seek, int whence), (paranoia, seek, whence),
                  -1)
VANTORA_LAZY_CALL(Paranoia(), int16_t*, cdio_paranoia_read,
                  (cdrom_paranoia_t * paranoia, void (*callback)(long, paranoia_cb_mode_t)),
                  (paranoia, callback), nullptr)
VANTORA_LAZY_CALL(Paranoia(), int, cdio_paranoia_cachemodel_size,
                  (cdrom_paranoia_t * paranoia, int sectors), (paranoia, sectors), 0)

# SPDX-License-Identifier: MIT
# The library's headers as others get them: installed under include/vza/ with
# the spelling the library itself uses (<vza/archive/read/archive.h>), and
# gathered by the umbrella header <vza/vza.h>. Everything not listed here
# stays private to the library.
#
# A new header of the public API goes in VZA_PUBLIC_HEADERS. A header that a
# public one includes but that is no API of its own (a member's type, say)
# goes in VZA_SUPPORT_HEADERS: installed, so the public headers compile, but
# not in the umbrella. The install test compiles every installed header on
# its own, so a header missing from both lists fails it, and it finds any
# listed header that <vza/vza.h> does not reach.

set(VZA_PUBLIC_HEADERS
  # The cipher: setKey, the block and buffer calls, the sealed form.
  codec/blowfish.h
  codec/sealed_form.h
  # The container: magic, flags and word helpers; the error contract; the
  # entry record, the byte buffer with its codecs, the entry table and index.
  archive/format/format.h
  archive/format/archive_error.h
  archive/format/archive_entry.h
  archive/format/entry_records.h
  archive/format/data_buffer.h
  archive/format/entry_table.h
  archive/format/archive_index.h
  # Files that appear only when complete.
  archive/fs/output_file.h
  # Entry names: components and their limits, safe output names, encodings,
  # names made safe to show.
  archive/names/path_components.h
  archive/names/safe_name.h
  archive/names/name_decoding.h
  archive/names/display_text.h
  # Reading: Archive, readers for several threads, archives on a pipe.
  archive/read/archive.h
  archive/read/entry_reader.h
  archive/read/sequential_archive.h
  # Extracting: the engine both programs use.
  archive/extract/extractor.h
  # Writing: the writer, where it writes, the files it is made of; changing
  # an archive that exists.
  archive/write/archive_writer.h
  archive/write/archive_output.h
  archive/write/input_tree.h
  archive/write/archive_editor.h)

set(VZA_SUPPORT_HEADERS
  # EntryTable's name hash, a private member.
  archive/format/name_lookup.h
  # The lock ArchiveOutput holds on an archive it replaces.
  archive/write/archive_lock.h)

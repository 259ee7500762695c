# SPDX-License-Identifier: MIT
# The archive library's roles and their sources, listed once for the main
# build and the fuzz build. Each role is a folder; the roles are listed bottom
# up, and a role may include those before it in VZA_ARCHIVE_ROLE_<role>_USES
# (and codec/), nothing else.
#
#   fs       the system underneath: files that appear only when complete,
#            folders opened one component at a time, large arrays, hashing
#            under a key from the kernel's random source
#   format   the container: constants, records, header and index, errors,
#            name lookup, the in-memory archive
#   names    entry names: components, safe output names, name encodings
#   read     reading an archive: Archive, entry readers and decoders, pipes
#   extract  the extraction engine: Extractor and its scheduler
#   write    writing an archive: the writer, its output, the input walk
set(VZA_ARCHIVE_ROLES fs format names read extract write)

set(VZA_ARCHIVE_ROLE_fs_USES)
set(VZA_ARCHIVE_ROLE_fs_SOURCES
  fs/file_identity.cpp
  fs/folder_walk.cpp
  fs/huge_pages.cpp
  fs/name_hash.cpp
  fs/output_file.cpp
  fs/process_limits.cpp
  fs/sibling_names.cpp)

set(VZA_ARCHIVE_ROLE_format_USES fs)
set(VZA_ARCHIVE_ROLE_format_SOURCES
  format/archive_error.cpp
  format/archive_index.cpp
  format/data_buffer.cpp
  format/data_buffer_codec.cpp
  format/entry_check.cpp
  format/entry_records.cpp
  format/entry_table.cpp
  format/format.cpp
  format/name_lookup.cpp)

set(VZA_ARCHIVE_ROLE_names_USES fs format)
set(VZA_ARCHIVE_ROLE_names_SOURCES
  names/display_text.cpp
  names/name_decoding.cpp
  names/name_verdict.cpp
  names/path_components.cpp
  names/safe_name.cpp
  names/utf8.cpp)

set(VZA_ARCHIVE_ROLE_read_USES fs format names)
set(VZA_ARCHIVE_ROLE_read_SOURCES
  read/archive.cpp
  read/decipher_ahead.cpp
  read/entry_decoder.cpp
  read/entry_reader.cpp
  read/sequential_archive.cpp)

set(VZA_ARCHIVE_ROLE_extract_USES fs format names read)
set(VZA_ARCHIVE_ROLE_extract_SOURCES
  extract/archive_extract.cpp
  extract/default_destination.cpp
  extract/extract_all.cpp
  extract/extract_pool.cpp
  extract/extractor.cpp
  extract/output_conflicts.cpp)

set(VZA_ARCHIVE_ROLE_write_USES fs format names read)
set(VZA_ARCHIVE_ROLE_write_SOURCES
  write/archive_editor.cpp
  write/archive_index_save.cpp
  write/archive_lock.cpp
  write/archive_output.cpp
  write/archive_writer.cpp
  write/deflate_pool.cpp
  write/input_tree.cpp)

set(VZA_ARCHIVE_SOURCES)
foreach(role IN LISTS VZA_ARCHIVE_ROLES)
  list(TRANSFORM VZA_ARCHIVE_ROLE_${role}_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  list(APPEND VZA_ARCHIVE_SOURCES ${VZA_ARCHIVE_ROLE_${role}_SOURCES})
endforeach()

# SPDX-License-Identifier: MIT
# The library's headers as others get them: installed under include/vza/ with
# the spelling the library itself uses (<vza/archive/read/archive.h>), and
# gathered by the umbrella header <vza/vza.h>. Everything not listed here
# stays private to the library.
#
# A new header of the public API goes in VZA_PUBLIC_HEADERS. The headers the
# public ones include are installed with them (VZA_SUPPORT_HEADERS, found
# here), so that they compile, but they are no API of their own (a member's
# type, say) and not in the umbrella. The install test compiles every
# installed header on its own, and fails when one of the library's known
# internals (the entry decoder, the codec's inner parts) comes to be installed.

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

# The project headers the public ones include ("vza/<folder>/<file>.h"),
# transitively, that are not public themselves.
function(vza_included_headers out)
  set(pending ${ARGN})
  set(seen "")
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${header})
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${header})
      message(FATAL_ERROR "cmake/PublicHeaders.cmake: ${header} is gone; list the header that took its place")
    endif()
    file(STRINGS ${PROJECT_SOURCE_DIR}/${header} lines REGEX "^#include \"vza/")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^#include \"vza/([^\"]+)\".*" "\\1" included "${line}")
      if(EXISTS ${PROJECT_SOURCE_DIR}/${included})
        list(APPEND pending ${included})
      endif()
    endforeach()
  endwhile()
  list(REMOVE_ITEM seen ${ARGN})
  list(SORT seen)
  set(${out} ${seen} PARENT_SCOPE)
endfunction()
vza_included_headers(VZA_SUPPORT_HEADERS ${VZA_PUBLIC_HEADERS})
# Found again when a public header changes its includes.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VZA_PUBLIC_HEADERS} ${VZA_SUPPORT_HEADERS})

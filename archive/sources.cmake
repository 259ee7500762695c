# SPDX-License-Identifier: MIT
# The archive library's sources, listed once for the main build and the fuzz build.
set(VZA_ARCHIVE_SOURCES
  archive.cpp
  archive_error.cpp
  archive_index.cpp
  archive_output.cpp
  archive_writer.cpp
  data_buffer.cpp
  data_buffer_codec.cpp
  decipher_ahead.cpp
  deflate_pool.cpp
  entry_decoder.cpp
  entry_reader.cpp
  entry_records.cpp
  entry_table.cpp
  extract_all.cpp
  extractor.cpp
  folder_walk.cpp
  format.cpp
  huge_pages.cpp
  input_tree.cpp
  name_decoding.cpp
  name_hash.cpp
  name_lookup.cpp
  output_conflicts.cpp
  output_file.cpp
  path_components.cpp
  safe_name.cpp
  sequential_archive.cpp
)
list(TRANSFORM VZA_ARCHIVE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)

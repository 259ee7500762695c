# SPDX-License-Identifier: MIT
# The codec's sources, listed once for the main build and the fuzz build.
set(VZA_CODEC_SOURCES
  blowfish.cpp
  blowfish_fast_avx2.cpp
  blowfish_fast_avx512.cpp
  blowfish_fast_portable.cpp
  blowfish_tables.cpp
  block_deflater.cpp
  deflate_isal.cpp
  deflate_libdeflate.cpp
  deflate_seam.cpp
  deflate_zlib.cpp
  inflate_isal.cpp
  inflate_stream.cpp
  inflate_zlib.cpp
  parallel_cipher.cpp
  sealed_form.cpp
  zlib_codec.cpp)
list(TRANSFORM VZA_CODEC_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)

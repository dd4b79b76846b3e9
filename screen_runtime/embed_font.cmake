# Turns the 8x16 PSF1 console font into builtin_font.cpp.
# Usage: cmake -DFONT=<font.psf.gz> -DOUT=<builtin_font.cpp> -P embed_font.cmake
if(NOT FONT OR NOT OUT)
  message(FATAL_ERROR "embed_font.cmake needs -DFONT=<psf.gz> and -DOUT=<cpp>")
endif()
if(NOT EXISTS "${FONT}")
  message(FATAL_ERROR "console font not found: ${FONT} (install console-data)")
endif()

# The decompressed font goes through a file: the bytes hold NULs.
set(raw "${OUT}.psf")
execute_process(
  COMMAND gzip -dc "${FONT}"
  OUTPUT_FILE "${raw}"
  RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip -dc ${FONT} failed: ${gzip_result}")
endif()

# PSF1: magic 36 04, mode, bytes per glyph; glyphs follow from byte 4.
file(READ "${raw}" header LIMIT 4 HEX)
if(NOT header MATCHES "^3604..10$")
  message(FATAL_ERROR "${FONT} is not a PSF1 font of 16-byte glyphs (header ${header})")
endif()
string(SUBSTRING "${header}" 4 2 mode)
math(EXPR mode_bits "0x${mode}")
math(EXPR has_512 "${mode_bits} & 1")
if(has_512)
  message(FATAL_ERROR "${FONT} holds 512 glyphs; the runtime takes a 256-glyph font")
endif()

file(READ "${raw}" glyphs OFFSET 4 LIMIT 4096 HEX)
file(REMOVE "${raw}")
string(LENGTH "${glyphs}" hex_length)
if(NOT hex_length EQUAL 8192)
  message(FATAL_ERROR "${FONT} is too short for 256 glyphs")
endif()

set(body "")
foreach(glyph RANGE 255)
  math(EXPR start "${glyph} * 32")
  string(SUBSTRING "${glyphs}" ${start} 32 hex)
  string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
  string(APPEND body "    {${bytes}},\n")
endforeach()

file(WRITE "${OUT}.tmp"
  "// Generated from ${FONT} at build time; do not edit.\n"
  "#include <cstdint>\n\n"
  "extern const uint8_t builtin_font[256][16];\n"
  "const uint8_t builtin_font[256][16] = {\n${body}};\n")
file(RENAME "${OUT}.tmp" "${OUT}")

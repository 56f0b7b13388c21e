# Compiles one language's help pages into a compiled help file, quietly and reproducibly.
#
#   cmake -DCHMCMD=<chmcmd> -DPAGES=<folder with the pages and the .hhp project>
#         -DPROJECT_FILE=<name of the .hhp>
#         -DSHARED_FILES=<files that every language shares, separated by "|">
#         -DSTAGE=<scratch folder> -DOUTPUT=<compiled file> -P compile_chm.cmake
#
# The compiler's chatter is kept back and shown only when it fails or warns; a warning (a page
# that links to a file the project lacks) fails the build. The compiler stamps the file with the
# time of the build in two places, the file header and the #SYSTEM object; both stamps are set to
# zero afterwards, so that the same pages always give the same bytes.

cmake_minimum_required(VERSION 3.25)

foreach(var CHMCMD PAGES PROJECT_FILE STAGE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "compile_chm.cmake: ${var} is not set")
  endif()
endforeach()

# Work on a copy, so the compiler writes nothing into the source tree.
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
file(GLOB pages LIST_DIRECTORIES false "${PAGES}/*")
string(REPLACE "|" ";" shared "${SHARED_FILES}")
file(COPY ${pages} ${shared} DESTINATION "${STAGE}")

execute_process(
  COMMAND "${CHMCMD}" --html-scan "${PROJECT_FILE}"
  WORKING_DIRECTORY "${STAGE}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
string(REGEX MATCH "[^\n]*Warning[^\n]*" warning "${out}")
string(REGEX REPLACE "\\.hhp$" ".chm" compiled "${PROJECT_FILE}")
if(NOT result EQUAL 0 OR warning OR NOT EXISTS "${STAGE}/${compiled}")
  message(FATAL_ERROR "chmcmd failed on ${PAGES}/${PROJECT_FILE}:\n${out}")
endif()
set(chm "${STAGE}/${compiled}")

# --- Reading the file's layout -------------------------------------------------------------
file(READ "${chm}" hex HEX)

# Little-endian unsigned integer of `size` bytes at byte `offset`.
function(read_le out offset size)
  set(value 0)
  math(EXPR last "${size} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "(${offset} + ${i}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "(${value} << 8) + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# A directory entry's variable-length number: seven bits a byte, high bit set on all but the last.
function(read_encint out next offset)
  set(value 0)
  set(at ${offset})
  while(TRUE)
    read_le(byte ${at} 1)
    math(EXPR at "${at} + 1")
    math(EXPR value "(${value} << 7) + (${byte} & 0x7f)")
    if(byte LESS 128)
      break()
    endif()
  endwhile()
  set(${out} ${value} PARENT_SCOPE)
  set(${next} ${at} PARENT_SCOPE)
endfunction()

# File header: signature "ITSF", version 3, the directory and the start of content section 0.
set(kItsfSignature "49545346")
set(kTimestampOffset 16)
set(kTimestampSize 4)
set(kDirectoryOffsetField 72)   # 0x48, 8 bytes
set(kContentOffsetField 88)     # 0x58, 8 bytes
set(kItspHeaderSizeField 8)     # within the directory header
set(kChunkSizeField 16)
set(kChunkCountField 44)
set(kListingSignature "504d474c")  # "PMGL"
set(kListingHeaderSize 20)
set(kSystemName "2f2353595354454d")  # "/#SYSTEM"
set(kSystemTimestampCode 10)

string(SUBSTRING "${hex}" 0 8 signature)
read_le(version 4 4)
if(NOT signature STREQUAL kItsfSignature OR NOT version EQUAL 3)
  message(FATAL_ERROR "${chm}: not a version 3 compiled help file")
endif()
read_le(directory ${kDirectoryOffsetField} 8)
read_le(content ${kContentOffsetField} 8)
math(EXPR field "${directory} + ${kItspHeaderSizeField}")
read_le(itsp_size ${field} 4)
math(EXPR field "${directory} + ${kChunkSizeField}")
read_le(chunk_size ${field} 4)
math(EXPR field "${directory} + ${kChunkCountField}")
read_le(chunk_count ${field} 4)

# Find "/#SYSTEM" in the listing chunks: its section (must be 0, uncompressed), start and length.
set(system_start "")
math(EXPR last_chunk "${chunk_count} - 1")
foreach(chunk RANGE ${last_chunk})
  math(EXPR base "${directory} + ${itsp_size} + ${chunk} * ${chunk_size}")
  math(EXPR at "${base} * 2")
  string(SUBSTRING "${hex}" ${at} 8 chunk_signature)
  if(NOT chunk_signature STREQUAL kListingSignature)
    continue()
  endif()
  math(EXPR field "${base} + 4")
  read_le(free_space ${field} 4)
  math(EXPR end "${base} + ${chunk_size} - ${free_space}")
  math(EXPR entry "${base} + ${kListingHeaderSize}")
  while(entry LESS end)
    read_encint(name_length entry ${entry})
    if(name_length EQUAL 0)
      message(FATAL_ERROR "${chm}: damaged directory entry")
    endif()
    math(EXPR at "${entry} * 2")
    math(EXPR hex_length "${name_length} * 2")
    string(SUBSTRING "${hex}" ${at} ${hex_length} name)
    math(EXPR entry "${entry} + ${name_length}")
    read_encint(section entry ${entry})
    read_encint(start entry ${entry})
    read_encint(length entry ${entry})
    if(name STREQUAL kSystemName)
      if(NOT section EQUAL 0)
        message(FATAL_ERROR "${chm}: #SYSTEM is not stored uncompressed")
      endif()
      set(system_start ${start})
      set(system_length ${length})
    endif()
  endwhile()
endforeach()
if(system_start STREQUAL "")
  message(FATAL_ERROR "${chm}: no #SYSTEM object")
endif()

# #SYSTEM: a 4-byte version, then records of a 2-byte code, a 2-byte length and the data.
set(zero_ranges "${kTimestampOffset}:${kTimestampSize}")
math(EXPR record "${content} + ${system_start} + 4")
math(EXPR system_end "${content} + ${system_start} + ${system_length}")
while(record LESS system_end)
  read_le(code ${record} 2)
  math(EXPR field "${record} + 2")
  read_le(length ${field} 2)
  math(EXPR data "${record} + 4")
  if(code EQUAL kSystemTimestampCode)
    list(APPEND zero_ranges "${data}:${length}")
  endif()
  math(EXPR record "${data} + ${length}")
endwhile()

foreach(range IN LISTS zero_ranges)
  string(REPLACE ":" ";" range "${range}")
  list(GET range 0 seek)
  list(GET range 1 count)
  execute_process(
    COMMAND dd if=/dev/zero "of=${chm}" bs=1 seek=${seek} count=${count} conv=notrunc status=none
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${chm}: could not clear the build time stamp")
  endif()
endforeach()

file(COPY_FILE "${chm}" "${OUTPUT}" ONLY_IF_DIFFERENT)

# Prints the size of a Windows executable and of its part besides the
# resources, read from its section table. Run after linking:
#   cmake -DEXE=path/to/program.exe -P ReportExeSize.cmake
cmake_minimum_required(VERSION 3.16)

# Reads a little-endian unsigned number of BYTES bytes at OFFSET into VAR.
function(read_le file offset bytes var)
  file(READ "${file}" hex OFFSET ${offset} LIMIT ${bytes} HEX)
  set(value 0)
  math(EXPR last "${bytes} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "${i} * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${var} ${value} PARENT_SCOPE)
endfunction()

# Sets VAR to the bytes the file gives to its resource section (.rsrc).
function(resource_bytes file var)
  read_le("${file}" 60 4 header)                # e_lfanew
  math(EXPR count_at "${header} + 6")
  math(EXPR optional_size_at "${header} + 20")
  read_le("${file}" ${count_at} 2 sections)
  read_le("${file}" ${optional_size_at} 2 optional_size)
  math(EXPR table "${header} + 24 + ${optional_size}")
  set(total 0)
  math(EXPR last "${sections} - 1")
  foreach(i RANGE 0 ${last})
    math(EXPR entry "${table} + ${i} * 40")
    file(READ "${file}" name OFFSET ${entry} LIMIT 8 HEX)
    if(name STREQUAL "2e72737263000000")  # ".rsrc", padded with zeros
      math(EXPR raw_size_at "${entry} + 16")
      read_le("${file}" ${raw_size_at} 4 raw_size)
      math(EXPR total "${total} + ${raw_size}")
    endif()
  endforeach()
  set(${var} ${total} PARENT_SCOPE)
endfunction()

file(SIZE "${EXE}" size)
resource_bytes("${EXE}" resources)
math(EXPR rest "${size} - ${resources}")
math(EXPR size_kb "(${size} + 512) / 1024")
math(EXPR resources_kb "(${resources} + 512) / 1024")
math(EXPR rest_kb "(${rest} + 512) / 1024")
get_filename_component(name "${EXE}" NAME)
message(STATUS "${name}: ${size} bytes (${size_kb} KB): resources ${resources} bytes (${resources_kb} KB), "
               "the rest ${rest} bytes (${rest_kb} KB)")

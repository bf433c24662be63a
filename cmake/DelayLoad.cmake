# System libraries as link targets Kivo::sys::<name>, split by where Windows
# looks for the DLL.
#
# An elevated installer is often started from a Downloads folder full of
# other files. Windows maps the KnownDLLs from the system directory whatever
# the application directory holds; every other DLL named in the import table
# would be searched in the application directory first (DLL planting). Those
# are linked through delay-load import libraries instead: the DLL is loaded
# on the first call, after WinMain has restricted the search path with
# SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32). The helper that
# does the loading (__delayLoadHelper2) comes from MinGW's libmingwex.
#
# GNU ld links the delay-import descriptors but leaves the header's
# delay-import directory empty, so every executable link is followed by
# tools/peimports.py --fix-delay-directory, which finds the descriptors
# between the marker and the terminator that delay_table.o adds around them
# (ld sorts the sections .text$1, .text$2 of the descriptors, .text$3).
#
# Link system libraries only through these targets: a plain "version" or
# "comctl32" anywhere on a link line would add a normal import again.
include_guard(GLOBAL)

# DLLs safe to import directly (Windows 7 to 11 KnownDLLs and ntdll).
set(KIVO_KNOWN_DLLS
  kernel32 ntdll user32 gdi32 advapi32 shell32 ole32 oleaut32 comdlg32 shlwapi
  ws2_32 msvcrt rpcrt4 setupapi psapi imm32 wldap32 normaliz nsi sechost usp10
  lpk msctf clbcatq imagehlp difxapi iertutil urlmon wininet)

# DLLs the installer and its libraries use that must be delay-loaded.
set(KIVO_DELAY_LOADED_DLLS
  version secur32 crypt32 bcrypt iphlpapi userenv gdiplus comctl32 uxtheme
  dwmapi msimg32 wtsapi32)

# Builds lib<name>_delay.a from MinGW's own import library lib<name>.a: the
# function thunks of the import library (symbols "_Name@N" with a matching
# "__imp__Name@N" on i686, "Name" and "__imp_Name" on x86-64) become the
# EXPORTS of a .def file, and --kill-at makes the imported names undecorated,
# as the DLLs export them. Data imports cannot be delay-loaded and are left
# out.
function(kivo_delay_load name)
  set(implib "${KIVO_MINGW_SYSROOT}/lib/lib${name}.a")
  if(NOT EXISTS "${implib}")
    message(FATAL_ERROR "no MinGW import library for ${name}.dll: ${implib}")
  endif()
  set(dir "${CMAKE_BINARY_DIR}/delayload")
  set(def "${dir}/${name}.def")
  set(lib "${dir}/lib${name}_delay.a")
  if("${implib}" IS_NEWER_THAN "${lib}"
     OR "${CMAKE_CURRENT_FUNCTION_LIST_FILE}" IS_NEWER_THAN "${lib}")
    execute_process(
      COMMAND "${CMAKE_NM}" --defined-only "${implib}"
      OUTPUT_VARIABLE symbols
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${CMAKE_NM} failed on ${implib}")
    endif()
    # C symbols carry a leading underscore on i686 only.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(prefix "_")
    else()
      set(prefix "")
    endif()
    string(REGEX MATCHALL "[0-9a-f]+ T ${prefix}[^\n]+" thunks "${symbols}")
    set(exports "")
    foreach(thunk IN LISTS thunks)
      string(REGEX REPLACE "^[0-9a-f]+ T ${prefix}" "" symbol "${thunk}")
      string(FIND "${symbols}" " I __imp_${prefix}${symbol}\n" pos)
      if(pos GREATER -1)
        string(APPEND exports "${symbol}\n")
      endif()
    endforeach()
    if(exports STREQUAL "")
      message(FATAL_ERROR "no functions found in ${implib}")
    endif()
    file(MAKE_DIRECTORY "${dir}")
    file(WRITE "${def}" "LIBRARY \"${name}.dll\"\nEXPORTS\n${exports}")
    # Run in the output folder: dlltool names its symbols after the output
    # path it is given.
    execute_process(
      COMMAND "${CMAKE_DLLTOOL}" --input-def "${name}.def" --output-delaylib "lib${name}_delay.a"
              --dllname "${name}.dll" --kill-at
      WORKING_DIRECTORY "${dir}"
      RESULT_VARIABLE result
      ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "dlltool failed for ${name}.dll: ${errors}")
    endif()
  endif()
  add_library(Kivo::sys::${name} STATIC IMPORTED GLOBAL)
  set_target_properties(Kivo::sys::${name} PROPERTIES IMPORTED_LOCATION "${lib}")
  target_link_libraries(Kivo::sys::${name} INTERFACE "${KIVO_DELAY_TABLE_OBJECT}")
endfunction()

set(KIVO_DELAY_TABLE_OBJECT "${CMAKE_BINARY_DIR}/delayload/delay_table.o")
if("${CMAKE_CURRENT_LIST_FILE}" IS_NEWER_THAN "${KIVO_DELAY_TABLE_OBJECT}")
  file(WRITE "${CMAKE_BINARY_DIR}/delayload/delay_table.s" [=[
	.section .text$1,"dr"
	.p2align 2
	.ascii "KivoDelayImports"
	.section .text$3,"dr"
	.p2align 2
	.space 32
]=])
  execute_process(
    COMMAND "${CMAKE_C_COMPILER}" -c delay_table.s -o delay_table.o
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/delayload"
    RESULT_VARIABLE _kivo_result)
  if(NOT _kivo_result EQUAL 0)
    message(FATAL_ERROR "could not assemble ${CMAKE_BINARY_DIR}/delayload/delay_table.s")
  endif()
endif()

# Prefer Debian's interpreter, which scripts/bootstrap installs.
find_program(KIVO_HOST_PYTHON NAMES python3 HINTS /usr/bin REQUIRED)
foreach(_kivo_lang C CXX)
  set(CMAKE_${_kivo_lang}_LINK_EXECUTABLE
    "${CMAKE_${_kivo_lang}_LINK_EXECUTABLE} && \"${KIVO_HOST_PYTHON}\" \"${CMAKE_CURRENT_LIST_DIR}/../tools/peimports.py\" --fix-delay-directory <TARGET>")
endforeach()

foreach(_kivo_dll IN LISTS KIVO_KNOWN_DLLS)
  if(EXISTS "${KIVO_MINGW_SYSROOT}/lib/lib${_kivo_dll}.a")
    add_library(Kivo::sys::${_kivo_dll} INTERFACE IMPORTED GLOBAL)
    target_link_libraries(Kivo::sys::${_kivo_dll} INTERFACE ${_kivo_dll})
  endif()
endforeach()

foreach(_kivo_dll IN LISTS KIVO_DELAY_LOADED_DLLS)
  kivo_delay_load(${_kivo_dll})
endforeach()

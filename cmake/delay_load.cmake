# Delay loading of system libraries.
#
# The installer is started from download folders that may hold planted DLLs.
# Only kernel32 and the C runtime (known DLLs, which Windows always takes from
# System32) are bound by the loader; every other system library, oleacc too,
# is bound on first use, after start-up hardening has restricted the DLL
# search to System32. tools/tests/test_installer_image.py holds the build to it.
#
# cmake/make_delay_import_lib.py writes the delay-load import libraries (its
# header says why not dlltool); the function lists come from the toolchain's
# own import libraries at build time.
# An executable opts in with the target property TARVIK_DELAY_LOAD; the delay
# libraries then come first on its link line (through installer_lib's link
# interface), so they win over the ordinary import libraries that follow.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(TARVIK_DELAY_LOADED_LIBRARIES
  user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32 comctl32 gdiplus msimg32
  uxtheme wininet winhttp crypt32 wintrust version bcrypt userenv winmm oleacc)

set(TARVIK_DELAY_LIB_DIR ${CMAKE_BINARY_DIR}/delayimp)
set(TARVIK_DELAY_LIB_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/make_delay_import_lib.py)
file(MAKE_DIRECTORY ${TARVIK_DELAY_LIB_DIR})

# Makes lib<name>_delay.a for <dll> from an import library or a .def file.
function(tarvik_add_delay_import_lib name dll)
  cmake_parse_arguments(ARG "" "IMPORT_LIB;DEF" "" ${ARGN})
  set(output ${TARVIK_DELAY_LIB_DIR}/lib${name}_delay.a)
  if(ARG_IMPORT_LIB)
    set(source_args --nm ${CMAKE_NM} --import-lib ${ARG_IMPORT_LIB})
    set(source_file ${ARG_IMPORT_LIB})
  else()
    set(source_args --def-input ${ARG_DEF})
    set(source_file ${ARG_DEF})
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${Python3_EXECUTABLE} ${TARVIK_DELAY_LIB_SCRIPT} --ar ${CMAKE_AR} ${source_args}
            --dll ${dll} --bits ${TARVIK_TARGET_BITS} --output ${output}
    DEPENDS ${TARVIK_DELAY_LIB_SCRIPT} ${source_file}
    COMMENT "Delay-load import library for ${dll}"
    VERBATIM)
  set(TARVIK_DELAY_LIB_${name} ${output} PARENT_SCOPE)
endfunction()

set(TARVIK_DELAY_IMPORT_LIBS)
foreach(lib ${TARVIK_DELAY_LOADED_LIBRARIES})
  find_library(TARVIK_IMPORT_LIB_${lib} NAMES lib${lib}.a ${lib} REQUIRED)
  tarvik_add_delay_import_lib(${lib} ${lib}.dll IMPORT_LIB ${TARVIK_IMPORT_LIB_${lib}})
  list(APPEND TARVIK_DELAY_IMPORT_LIBS ${TARVIK_DELAY_LIB_${lib}})
endforeach()
add_custom_target(tarvik_delay_import_libs DEPENDS ${TARVIK_DELAY_IMPORT_LIBS})

# What installer_lib's users link: the delay libraries for executables that
# set TARVIK_DELAY_LOAD, then the ordinary import libraries for everyone.
set(TARVIK_LINKED_SYSTEM_LIBRARIES
  "$<$<BOOL:$<TARGET_PROPERTY:TARVIK_DELAY_LOAD>>:${TARVIK_DELAY_IMPORT_LIBS}>"
  ${TARVIK_SYSTEM_LIBRARIES})

# Marks `target` as delay-loading every library of the list above.
function(tarvik_delay_load_system_libraries target)
  set_target_properties(${target} PROPERTIES TARVIK_DELAY_LOAD ON)
  add_dependencies(${target} tarvik_delay_import_libs)
endfunction()

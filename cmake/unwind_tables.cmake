# The i686 image carries no unwind tables (.eh_frame). The product throws no
# C++ exceptions (-fno-exceptions): a throw inside the C++ runtime (bad_alloc)
# ends in std::terminate with or without tables, and i686 structured
# exceptions are dispatched through the registration records on the stack.
# The tables cost twice: their own bytes, and the toolchain's linker script
# KEEPs every .eh_frame, whose entries refer to their functions, so
# --gc-sections could drop no function that has one (all of the C++ runtime).
# i686 executables therefore link with the toolchain's own script minus that
# KEEP, and the product's code writes its unwind information for the symbols
# file instead (.debug_frame; -g1 also gives it line tables).
#
# x86_64 is left alone: Windows itself unwinds with its .pdata/.xdata.
#
# Sets TARVIK_SYMBOLS_COMPILE_OPTIONS for the product's targets.
set(TARVIK_SYMBOLS_COMPILE_OPTIONS)
if(NOT TARVIK_TARGET_BITS EQUAL 32)
  return()
endif()

execute_process(COMMAND ${CMAKE_LINKER} -m i386pe --verbose
  OUTPUT_VARIABLE ld_verbose RESULT_VARIABLE ld_result)
# The script sits between two lines of "=".
string(REGEX MATCH "\n=+\n(.*)\n=+\n" script_match "${ld_verbose}")
set(script "${CMAKE_MATCH_1}")
set(kept_tables "KEEP(*(.eh_frame*))")
string(FIND "${script}" "${kept_tables}" kept_at)
if(NOT ld_result EQUAL 0 OR kept_at EQUAL -1)
  message(FATAL_ERROR "${CMAKE_LINKER} --verbose printed no default linker script with ${kept_tables}; "
                      "cmake/unwind_tables.cmake must learn this binutils' script")
endif()
# crtbegin's own few entries stay, since its start-up code refers to them;
# the loader's zero fill after the section ends their list.
string(REPLACE "${kept_tables}" "*(.eh_frame*)" script "${script}")
set(TARVIK_LINKER_SCRIPT ${CMAKE_BINARY_DIR}/i686_image.x)
file(WRITE ${TARVIK_LINKER_SCRIPT}.new "${script}\n")
# Copied only when it changed, so a new configure relinks nothing.
configure_file(${TARVIK_LINKER_SCRIPT}.new ${TARVIK_LINKER_SCRIPT} COPYONLY)
add_link_options(LINKER:-T,${TARVIK_LINKER_SCRIPT})
add_compile_options(-fno-asynchronous-unwind-tables)

# Nothing of the checkout's or build directory's path may reach the symbols
# file: the executable's debug link holds its checksum (reproducible builds).
set(TARVIK_SYMBOLS_COMPILE_OPTIONS -g1
  -fdebug-prefix-map=${CMAKE_SOURCE_DIR}=.
  -fdebug-prefix-map=${CMAKE_BINARY_DIR}=build)

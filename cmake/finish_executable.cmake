# tarvik_finish_executable(target [DATED]): the linker writes the target into
# linked/; bin/ gets it stripped with a debug link, and its symbols file
# <name>.debug beside it (cmake/finish_executable.py). DATED also writes the
# build date into the version resource's file date.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(tarvik_finish_executable target)
  cmake_parse_arguments(PARSE_ARGV 1 FINISH "DATED" "" "")
  set(out_exe ${CMAKE_BINARY_DIR}/bin/${target}.exe)
  set(out_debug ${CMAKE_BINARY_DIR}/bin/${target}.debug)
  set(dated)
  if(FINISH_DATED)
    set(dated --stamp-version-date)
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/linked)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/finish_executable.py
            --objcopy ${CMAKE_OBJCOPY} --source-dir ${CMAKE_SOURCE_DIR} ${dated}
            $<TARGET_FILE:${target}> ${out_exe} ${out_debug}
    BYPRODUCTS ${out_exe} ${out_debug}
    COMMENT "Stripping ${target}.exe; its symbols go to ${target}.debug"
    VERBATIM)
endfunction()

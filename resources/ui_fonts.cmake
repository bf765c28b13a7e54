# The window's three fonts (RT_FONT 2087, 2088, 2090), made at build time from
# Debian's fonts-inter by tools/ui_fonts.py: renamed to the faces the window
# asks for and subset to what the string tables draw.
set(TARVIK_FONT_SOURCE_DIR "/usr/share/fonts/opentype/inter" CACHE PATH
  "Inter and Inter Display faces (Debian: fonts-inter)")

# fontTools comes from Debian (python3-fonttools), which only the system
# interpreter sees when another python3 is first on PATH.
if(NOT TARVIK_FONT_PYTHON)
  foreach(candidate ${Python3_EXECUTABLE} /usr/bin/python3)
    execute_process(COMMAND ${candidate} -c "import fontTools"
      RESULT_VARIABLE font_python_status OUTPUT_QUIET ERROR_QUIET)
    if(font_python_status EQUAL 0)
      set(TARVIK_FONT_PYTHON ${candidate} CACHE FILEPATH "Python 3 with fontTools (python3-fonttools)")
      break()
    endif()
  endforeach()
endif()
if(NOT TARVIK_FONT_PYTHON)
  message(FATAL_ERROR "No Python 3 with fontTools found (apt-get install python3-fonttools)")
endif()

set(UI_FONTS_DIR ${TARVIK_GENERATED_DIR}/resources/fonts)
set(UI_FONTS_TOOL ${CMAKE_SOURCE_DIR}/tools/ui_fonts.py)
set(UI_STRINGS_DIR ${CMAKE_CURRENT_SOURCE_DIR}/strings)
file(GLOB UI_STRING_FILES CONFIGURE_DEPENDS ${UI_STRINGS_DIR}/*.txt)
set(UI_FONT_SOURCES)
foreach(face Inter-Regular InterDisplay-Regular InterDisplay-Medium)
  if(NOT EXISTS ${TARVIK_FONT_SOURCE_DIR}/${face}.otf)
    message(FATAL_ERROR "${TARVIK_FONT_SOURCE_DIR}/${face}.otf not found (apt-get install fonts-inter)")
  endif()
  list(APPEND UI_FONT_SOURCES ${TARVIK_FONT_SOURCE_DIR}/${face}.otf)
endforeach()

set(UI_FONT_FILES ${UI_FONTS_DIR}/kx_geo_regular.otf ${UI_FONTS_DIR}/kx_geo_medium.otf ${UI_FONTS_DIR}/kx_text.otf)
add_custom_command(OUTPUT ${UI_FONT_FILES}
  COMMAND ${TARVIK_FONT_PYTHON} ${UI_FONTS_TOOL} --source-dir ${TARVIK_FONT_SOURCE_DIR}
          --strings-dir ${UI_STRINGS_DIR} --out-dir ${UI_FONTS_DIR}
  DEPENDS ${UI_FONTS_TOOL} ${UI_FONT_SOURCES} ${UI_STRING_FILES}
  COMMENT "Window fonts from fonts-inter, subset to the string tables")
add_custom_target(ui_fonts DEPENDS ${UI_FONT_FILES})
add_dependencies(installer_resources ui_fonts)
set_property(SOURCE installer.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/fonts.rc ${UI_FONT_FILES})

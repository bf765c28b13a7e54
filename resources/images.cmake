# The images the installer carries, rendered from the SVG drawings in
# resources/images by tools/render_images.py (manifest: images/images.json).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(TARVIK_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(TARVIK_PNGQUANT pngquant REQUIRED)
find_program(TARVIK_IMAGEMAGICK_CONVERT convert REQUIRED)
find_program(TARVIK_ZOPFLIPNG zopflipng REQUIRED)  # Debian: zopfli

set(IMAGES_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/images/images.json)
set(IMAGES_TOOL ${CMAKE_SOURCE_DIR}/tools/render_images.py)
set(IMAGES_DIR ${TARVIK_GENERATED_DIR}/resources/images)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${IMAGES_MANIFEST} ${IMAGES_TOOL})

foreach(what outputs sources)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${IMAGES_TOOL} ${what} ${IMAGES_MANIFEST}
    OUTPUT_VARIABLE listing RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "render_images.py ${what} failed")
  endif()
  string(REPLACE "\n" ";" listing "${listing}")
  list(FILTER listing EXCLUDE REGEX "^$")
  set(IMAGES_${what} ${listing})
endforeach()
list(TRANSFORM IMAGES_outputs PREPEND ${IMAGES_DIR}/)

# One step renders them all: drawings share pieces and themes, and one
# process is much cheaper than a hundred on a busy machine.
add_custom_command(OUTPUT ${IMAGES_outputs} ${IMAGES_DIR}/images.rc
  COMMAND ${Python3_EXECUTABLE} ${IMAGES_TOOL} render ${IMAGES_MANIFEST} ${IMAGES_DIR}
  DEPENDS ${IMAGES_sources} ${IMAGES_MANIFEST} ${IMAGES_TOOL}
  COMMENT "Rendering the installer's images")
add_custom_target(image_resources DEPENDS ${IMAGES_outputs} ${IMAGES_DIR}/images.rc)
add_dependencies(installer_resources image_resources)
set_property(SOURCE installer.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/image_ids.h ${IMAGES_DIR}/images.rc ${IMAGES_outputs})

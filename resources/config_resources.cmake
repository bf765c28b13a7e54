# Configuration packages and installer data files, made at build time from
# the sources in resources/brand and resources/installer_data.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(TARVIK_OPENSSL openssl REQUIRED)
find_program(TARVIK_GCAB gcab REQUIRED)

# Release signing passes the maker's RSA-1024 key (PEM). A development build
# signs with the key kept in resources/brand, which nothing trusts; it is
# fixed so that two builds of one commit give the same packages.
set(TARVIK_BRAND_SIGNING_KEY "" CACHE FILEPATH "RSA-1024 key (PEM) that signs the brand documents; empty: the development key")

set(CONFIG_RESOURCES_DIR ${TARVIK_GENERATED_DIR}/resources/config)
set(CONFIG_RESOURCES_TOOL ${CMAKE_SOURCE_DIR}/tools/config_resources.py)
file(MAKE_DIRECTORY ${CONFIG_RESOURCES_DIR})

if(TARVIK_BRAND_SIGNING_KEY)
  set(CONFIG_SIGNING_KEY ${TARVIK_BRAND_SIGNING_KEY})
else()
  set(CONFIG_SIGNING_KEY ${CMAKE_CURRENT_SOURCE_DIR}/brand/development_signing_key.pem)
endif()

set(CONFIG_RESOURCE_FILES)
foreach(brand default tarvik ua_uk ua_ru tb)
  set(package ${CONFIG_RESOURCES_DIR}/brand_${brand}.cab)
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/brand/${brand}.json)
  add_custom_command(OUTPUT ${package}
    COMMAND ${Python3_EXECUTABLE} ${CONFIG_RESOURCES_TOOL} package --key ${CONFIG_SIGNING_KEY}
            --hosts ${CMAKE_SOURCE_DIR}/config/maker_hosts.json --host-set ${TARVIK_HOSTS}
            --name brand_config ${source} ${package}
    DEPENDS ${source} ${CONFIG_SIGNING_KEY} ${CONFIG_RESOURCES_TOOL} ${CMAKE_SOURCE_DIR}/config/maker_hosts.json
    COMMENT "Brand package ${brand}")
  list(APPEND CONFIG_RESOURCE_FILES ${package})
endforeach()

set(data_source ${CMAKE_CURRENT_SOURCE_DIR}/installer_data)
add_custom_command(OUTPUT ${CONFIG_RESOURCES_DIR}/master_preferences
  COMMAND ${Python3_EXECUTABLE} ${CONFIG_RESOURCES_TOOL} copy-json
          ${data_source}/master_preferences.json ${CONFIG_RESOURCES_DIR}/master_preferences
  DEPENDS ${data_source}/master_preferences.json ${CONFIG_RESOURCES_TOOL})
add_custom_command(OUTPUT ${CONFIG_RESOURCES_DIR}/abt_config_resource
  COMMAND ${Python3_EXECUTABLE} ${CONFIG_RESOURCES_TOOL} copy-json
          ${data_source}/abt_config_resource.json ${CONFIG_RESOURCES_DIR}/abt_config_resource
  DEPENDS ${data_source}/abt_config_resource.json ${CONFIG_RESOURCES_TOOL})
add_custom_command(OUTPUT ${CONFIG_RESOURCES_DIR}/clids.xml
  COMMAND ${Python3_EXECUTABLE} ${CONFIG_RESOURCES_TOOL} recode --encoding windows-1251
          ${data_source}/clids.xml ${CONFIG_RESOURCES_DIR}/clids.xml
  DEPENDS ${data_source}/clids.xml ${CONFIG_RESOURCES_TOOL})
list(APPEND CONFIG_RESOURCE_FILES ${CONFIG_RESOURCES_DIR}/master_preferences
  ${CONFIG_RESOURCES_DIR}/abt_config_resource ${CONFIG_RESOURCES_DIR}/clids.xml)

add_custom_target(config_resources DEPENDS ${CONFIG_RESOURCE_FILES})
add_dependencies(installer_resources config_resources)
set_property(SOURCE installer.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/config.rc ${CONFIG_RESOURCE_FILES})

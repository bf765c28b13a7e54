# The ten public keys that may sign the trusted-certificate list inside a
# setup archive. This is the one place a build chooses them:
#
#   cmake --preset windows-x86 -DTARVIK_TRUST_PUBLIC_KEYS_FILE=/path/to/release_keys.txt
#
# The file holds ten lines, key indexes 0 to 9, each the standard Base64 of a
# DER SubjectPublicKeyInfo of a 1024-bit RSA key (216 characters). The
# default is the development set (tools/trust/dev_keys), whose private keys
# are in the repository: a build with it must never be released.
set(TARVIK_TRUST_PUBLIC_KEYS_FILE "${CMAKE_SOURCE_DIR}/tools/trust/dev_keys/builtin_public_keys.txt"
  CACHE FILEPATH "Ten Base64 SubjectPublicKeyInfo lines: the keys trusted to sign TRUSTED.JSON")

if(NOT EXISTS "${TARVIK_TRUST_PUBLIC_KEYS_FILE}")
  message(FATAL_ERROR "TARVIK_TRUST_PUBLIC_KEYS_FILE does not exist: ${TARVIK_TRUST_PUBLIC_KEYS_FILE}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TARVIK_TRUST_PUBLIC_KEYS_FILE}")
file(STRINGS "${TARVIK_TRUST_PUBLIC_KEYS_FILE}" _trust_key_lines)
list(LENGTH _trust_key_lines _trust_key_count)
if(NOT _trust_key_count EQUAL 10)
  message(FATAL_ERROR "${TARVIK_TRUST_PUBLIC_KEYS_FILE} must hold 10 keys, it holds ${_trust_key_count}")
endif()
set(TARVIK_TRUST_PUBLIC_KEYS "")
set(_trust_key_index 0)
foreach(_trust_key ${_trust_key_lines})
  string(LENGTH "${_trust_key}" _trust_key_length)
  if(NOT _trust_key MATCHES "^[A-Za-z0-9+/]+=*$" OR NOT _trust_key_length EQUAL 216)
    message(FATAL_ERROR "Key ${_trust_key_index} of ${TARVIK_TRUST_PUBLIC_KEYS_FILE} is not 216 Base64 characters")
  endif()
  string(APPEND TARVIK_TRUST_PUBLIC_KEYS "    \"${_trust_key}\",\n")
  math(EXPR _trust_key_index "${_trust_key_index} + 1")
endforeach()
# By content, not by path: a copy of the development file elsewhere is still
# the development keys, whose private halves anyone can read here.
file(STRINGS "${CMAKE_SOURCE_DIR}/tools/trust/dev_keys/builtin_public_keys.txt" _trust_development_keys)
set(_trust_development_keys_used "")
foreach(_trust_key ${_trust_key_lines})
  if(_trust_key IN_LIST _trust_development_keys)
    list(FIND _trust_key_lines "${_trust_key}" _trust_key_index)
    list(APPEND _trust_development_keys_used ${_trust_key_index})
  endif()
endforeach()
if(_trust_development_keys_used)
  set(TARVIK_TRUST_DEVELOPMENT_KEYS 1)
else()
  set(TARVIK_TRUST_DEVELOPMENT_KEYS 0)
endif()
if(TARVIK_TRUST_DEVELOPMENT_KEYS AND TARVIK_HOSTS STREQUAL "release")
  message(FATAL_ERROR "A release-host build must not trust the development list-signing keys, but "
    "${TARVIK_TRUST_PUBLIC_KEYS_FILE} holds development keys (indexes ${_trust_development_keys_used}); "
    "set TARVIK_TRUST_PUBLIC_KEYS_FILE to the release key file")
endif()
configure_file(${CMAKE_SOURCE_DIR}/trust/builtin_public_keys.h.in
  ${TARVIK_GENERATED_DIR}/trust/builtin_public_keys.h @ONLY)

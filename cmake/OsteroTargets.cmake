# One wrapper for all our targets: warnings, sanitizers, staging and the version section
# are applied the same way everywhere.

set(OSTERO_COMPANY_NAME "Taveric" CACHE INTERNAL "")
set(OSTERO_PRODUCT_NAME "Taveric Ostero" CACHE INTERNAL "")
set(OSTERO_COPYRIGHT "Copyright (C) 2026 Taveric" CACHE INTERNAL "")

function(ostero_apply_common target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wno-unused-parameter>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra>)
  if(OSTERO_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# Embeds the ".taveric_version" ELF section (NUL-separated key=value texts) that
# GetFileVersionText and GetFileVersionDetails read back from the file.
function(ostero_embed_version target description)
  set(OSTERO_VI_DESCRIPTION "${description}")
  set(OSTERO_VI_INTERNAL_NAME "${target}")
  get_target_property(_out ${target} OUTPUT_NAME)
  if(_out)
    set(OSTERO_VI_INTERNAL_NAME "${_out}")
  endif()
  set(OSTERO_VI_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${OSTERO_BUILD_NUMBER}")
  set(_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_version_section.c")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/VersionSection.c.in" "${_file}" @ONLY)
  target_sources(${target} PRIVATE "${_file}")
endfunction()

# A static library of a subsystem core. Headers are included as "subsystem/File.h".
function(ostero_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  ostero_apply_common(${name})
endfunction()

# A program of the staged tree: DESTINATION is its folder below the stage ("Ostero", "Vigant", ...).
function(ostero_add_executable name)
  cmake_parse_arguments(ARG "" "DESTINATION;OUTPUT_NAME;DESCRIPTION" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME "${ARG_OUTPUT_NAME}")
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${OSTERO_STAGE_DIR}/${ARG_DESTINATION}")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  ostero_apply_common(${name})
  ostero_embed_version(${name} "${ARG_DESCRIPTION}")
endfunction()

# A loadable module (information module, dialog library, ...): "<OUTPUT_NAME>.so" without "lib".
# DESTINATION is its folder below the stage, or an absolute folder (test libraries).
function(ostero_add_module name)
  cmake_parse_arguments(ARG "" "DESTINATION;OUTPUT_NAME;DESCRIPTION" "SOURCES;DEPS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  if(IS_ABSOLUTE "${ARG_DESTINATION}")
    set(_dir "${ARG_DESTINATION}")
  else()
    set(_dir "${OSTERO_STAGE_DIR}/${ARG_DESTINATION}")
  endif()
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so" OUTPUT_NAME "${ARG_OUTPUT_NAME}"
                                           LIBRARY_OUTPUT_DIRECTORY "${_dir}"
                                           C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  ostero_apply_common(${name})
  ostero_embed_version(${name} "${ARG_DESCRIPTION}")
endfunction()

# A GoogleTest program registered with ctest under LABEL (unit, gui, integration, browser).
function(ostero_add_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;DEPS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  # Helpers shared by the test programs.
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/common")
  ostero_apply_common(${name})
  ostero_embed_version(${name} "Test program ${name}")
  # Tests never touch the user's settings or the machine's: both registry files live in the
  # build tree unless a test points them elsewhere.
  set(_home "${PROJECT_BINARY_DIR}/test-home")
  set(_env "OSTERO_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data" "OSTERO_STAGE_DIR=${OSTERO_STAGE_DIR}"
           "XDG_CONFIG_HOME=${_home}/config" "TAVERIC_LOCAL_MACHINE_REGISTRY=${_home}/machine.reg"
           ${ARG_ENVIRONMENT})
  if(ARG_LABEL STREQUAL "gui")
    list(APPEND _env "QT_QPA_PLATFORM=offscreen")
  endif()
  # The environment is compiled into the test program, so it holds however the program is
  # started (ctest, by hand, under a debugger).
  set(_code "// Generated: the environment of this test program.\n#include <cstdlib>\nnamespace {\nstruct TTestEnvironment {\n    TTestEnvironment() {\n")
  foreach(_entry IN LISTS _env)
    string(FIND "${_entry}" "=" _eq)
    string(SUBSTRING "${_entry}" 0 ${_eq} _key)
    math(EXPR _vstart "${_eq} + 1")
    string(SUBSTRING "${_entry}" ${_vstart} -1 _value)
    string(APPEND _code "        ::setenv(R\"ostero(${_key})ostero\", R\"ostero(${_value})ostero\", 1);\n")
  endforeach()
  string(APPEND _code "    }\n} environment;\n} // namespace\n")
  set(_envfile "${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cpp")
  file(CONFIGURE OUTPUT "${_envfile}" CONTENT "${_code}" @ONLY)
  target_sources(${name} PRIVATE "${_envfile}")
  include(GoogleTest)
  gtest_discover_tests(${name} PROPERTIES LABELS "${ARG_LABEL}"
                       DISCOVERY_TIMEOUT 60)
endfunction()

# Helpers shared by every folder's CMakeLists.txt.

# lumetra_library(<target> [DEPS <libs...>])
# One static library from the folder's own sources (tests/ excluded).
function(lumetra_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.c")
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}")
  if(ARG_DEPS)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  endif()
  set_property(GLOBAL APPEND PROPERTY LUMETRA_LIBRARIES ${target})
endfunction()

# lumetra_tests(<label> [DEPS <libs...>])
# One GoogleTest executable from tests/*.cpp, discovered by CTest under <label>.
function(lumetra_tests label)
  if(NOT LUMETRA_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp")
  if(NOT sources)
    return()
  endif()
  string(REPLACE "/" "_" name "${label}")
  set(exe "${name}_tests")
  add_executable(${exe} ${sources})
  target_link_libraries(${exe} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${exe} PRIVATE
    LUMETRA_TESTDATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/testdata"
    LUMETRA_SHARED_DIR="${LUMETRA_SHARED_DIR}"
    LUMETRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # Tests never see the machine's printers: new pages take the virtual printer's A4.
  gtest_discover_tests(${exe}
    PROPERTIES LABELS "${label}" ENVIRONMENT "LUMETRA_PRINTERS=none"
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST)
endfunction()

# lumetra_embed(<target> <file> <function>)
# Compiles <file> (relative to the current folder) into <target> as `std::string_view <function>()`,
# regenerated when the file changes.
function(lumetra_embed target file function)
  set(input "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
  get_filename_component(stem "${file}" NAME_WE)
  set(output "${CMAKE_CURRENT_BINARY_DIR}/embedded/${stem}_${function}.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DFUNCTION=${function}
            -P "${CMAKE_SOURCE_DIR}/cmake/embed.cmake"
    DEPENDS "${input}" "${CMAKE_SOURCE_DIR}/cmake/embed.cmake"
    COMMENT "Embedding ${file}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
endfunction()

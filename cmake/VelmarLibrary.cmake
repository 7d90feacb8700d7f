# One static library per source folder. Sources are collected from the folder itself (RECURSE: and
# its sub-folders), so a new file needs no edit here; the folder's place in the layering is stated
# by its DEPS. PCH names the donor of the precompiled header its files use (VelmarPch.cmake).
function(velmar_library name dir)
  cmake_parse_arguments(ARG "RECURSE" "PCH" "DEPS" ${ARGN})
  if(ARG_RECURSE)
    set(glob GLOB_RECURSE)
  else()
    set(glob GLOB)
  endif()
  file(${glob} sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(${glob} headers CONFIGURE_DEPENDS ${dir}/*.h)
  if(sources)
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE velmar_warnings)
    if(ARG_PCH)
      velmar_use_pch(${name} ${ARG_PCH})
    endif()
  else()
    # A folder that has no code yet still takes its place in the layering.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One test program per folder of tests/, each test case a CTest test.
# GUI: the test program runs under a QApplication (offscreen) instead of a QCoreApplication.
# RECURSE: the folder's sub-folders belong to the same program.
# NO_PCH: its files are compiled without the precompiled header, for a program whose files must
# include something before Qt (the precompiled header brings Qt's keyword macros first).
# The files are compiled through generated units (velmar_test_units), several to a unit: names a
# test file keeps to itself therefore carry its subject (or go in a namespace of the file's own),
# since an anonymous namespace is shared by the files of a unit.
function(velmar_tests name dir)
  cmake_parse_arguments(ARG "GUI;RECURSE;NO_PCH" "" "DEPS" ${ARGN})
  if(ARG_RECURSE)
    set(glob GLOB_RECURSE)
  else()
    set(glob GLOB)
  endif()
  file(${glob} sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT sources)
    return()
  endif()
  if(ARG_GUI)
    set(main velmar_test_main_gui)
  else()
    set(main velmar_test_main)
  endif()
  velmar_test_units(units ${name} ${sources})
  add_executable(${name} ${sources} ${units} $<TARGET_OBJECTS:${main}>)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} velmar_test_support velmar_warnings)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  endif()
  if(ARG_GUI AND NOT ARG_NO_PCH)
    velmar_use_pch(${name} velmar_test_pch_gui)
  elseif(NOT ARG_NO_PCH)
    velmar_use_pch(${name} velmar_test_pch)
  endif()
  set(head "// Paths of this build (velmar_test_paths, cmake/VelmarLibrary.cmake).\n#pragma once\n")
  set(lines "$<JOIN:$<TARGET_PROPERTY:${name},VELMAR_TEST_PATHS>,\n>")
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}_units/paths.h
    CONTENT "${head}$<TARGET_GENEX_EVAL:${name},${lines}>\n")
  velmar_test_paths(${name} VELMAR_SOURCE_DIR ${PROJECT_SOURCE_DIR})
  # The test main sets the environment (private XDG folders, dummy audio, offscreen Qt, UTC).
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120)
endfunction()

# velmar_test_paths(<target> <NAME> <path> [<NAME> <path>...]): absolute paths of this build that
# the files of a test program see as string macros (generator expressions allowed). Each unit of
# the program includes them from a header (<target>_units/paths.h) rather than taking them as -D
# on its command line: ccache hashes the command line of a file compiled with a precompiled header
# as it stands, so a clone in another folder would compile every unit again, while through the
# header only a unit whose text uses a path differs.
function(velmar_test_paths target)
  while(ARGN)
    list(POP_FRONT ARGN macro path)
    set_property(TARGET ${target} APPEND PROPERTY VELMAR_TEST_PATHS "#define ${macro} \"${path}\"")
  endwhile()
endfunction()

# velmar_test_units(<var> <target> <sources...>): writes the units through which the target's .cpp
# files are compiled, VELMAR_UNITY_BATCH files to a unit in the order given (one when
# VELMAR_UNITY_TESTS is off), and sets <var> to their list; the files themselves stay in the target
# as headers (for moc and the IDE). What the files of a unit share from the headers (GoogleTest, Qt,
# the project's inline code) is compiled once per unit instead of once per file. A unit includes
# its files by paths relative to itself, so that it reads the same in every clone with the same
# layout (CMake's own UNITY_BUILD writes absolute paths, which ccache would see). A unit is
# rewritten only when its text changes.
function(velmar_test_units var target)
  set(size 1)
  if(VELMAR_UNITY_TESTS)
    set(size ${VELMAR_UNITY_BATCH})
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_units)
  set(files)
  foreach(src IN LISTS ARGN)
    if(src MATCHES "\\.cpp$")
      list(APPEND files ${src})
    endif()
  endforeach()
  set(units)
  list(LENGTH files count)
  if(NOT size GREATER 0)
    set(size ${count})
  endif()
  set(first 0)
  while(first LESS count)
    list(SUBLIST files ${first} ${size} batch)
    math(EXPR first "${first} + ${size}")
    list(LENGTH units index)
    set(text "// Compiled as one unit (velmar_test_units, cmake/VelmarLibrary.cmake).\n")
    string(APPEND text "#include \"paths.h\"\n")
    foreach(src IN LISTS batch)
      file(RELATIVE_PATH rel ${dir} ${src})
      string(APPEND text "#include \"${rel}\"\n")
    endforeach()
    file(CONFIGURE OUTPUT ${dir}/unit_${index}.cpp CONTENT "${text}" @ONLY)
    list(APPEND units ${dir}/unit_${index}.cpp)
  endwhile()
  set_source_files_properties(${files} PROPERTIES HEADER_FILE_ONLY ON)
  set(${var} ${units} PARENT_SCOPE)
endfunction()

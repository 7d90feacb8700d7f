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
# The files of a program are compiled a few at a time in one unit (VELMAR_UNITY_BATCH of them,
# in the order of their paths): what they share from the headers is then compiled once per unit
# instead of once per file. Names a test file keeps to itself therefore go in a namespace of
# the file's own (or carry its subject in the name), since an anonymous namespace is shared by
# the files of a unit.
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
  add_executable(${name} ${sources} $<TARGET_OBJECTS:${main}>)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} velmar_test_support velmar_warnings)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  endif()
  if(ARG_GUI AND NOT ARG_NO_PCH)
    velmar_use_pch(${name} velmar_test_pch_gui)
  elseif(NOT ARG_NO_PCH)
    velmar_use_pch(${name} velmar_test_pch)
  endif()
  set_target_properties(${name} PROPERTIES
    UNITY_BUILD ${VELMAR_UNITY_TESTS} UNITY_BUILD_BATCH_SIZE ${VELMAR_UNITY_BATCH})
  # The test main sets the environment (private XDG folders, dummy audio, offscreen Qt, UTC).
  target_compile_definitions(${name} PRIVATE VELMAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120)
endfunction()

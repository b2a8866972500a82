# The help file Plimbar.chm, compiled at build time from the Japanese HTML
# sources in resources/help and placed next to the program, where the Help
# menu looks for it.
#
# Use, from the directory that builds PlimbarMaker.exe:
#
#   include(${PROJECT_SOURCE_DIR}/cmake/help.cmake)
#   plimbar_add_help(${CMAKE_CURRENT_BINARY_DIR} TARGET PlimbarMaker)
#
# plimbar_add_help(<dir> [TARGET <target>])
#   Adds the target plimbar_help (built by "all") that writes <dir>/Plimbar.chm.
#   <dir> is the folder the program's .exe is written to. With TARGET, that
#   target depends on the help, so building the program alone builds it too;
#   call it after add_executable() of that target.
#   When the tests are built (PLIMBAR_BUILD_TESTS), it also registers the
#   test help_chm through plimbar_add_help_test().
#
# plimbar_add_help_test(<chm>)
#   Registers the ctest test help_chm: tests/package/check_release.py reads <chm>
#   back with extract_chmLib (Debian package libchm-bin) and checks its
#   pages. The caller's directory must have testing enabled.
#
# Tools: chmcmd (Debian package fp-utils) compiles the help, Python 3
# converts the UTF-8 sources to Shift_JIS first (resources/help/build_chm.py),
# extract_chmLib (libchm-bin) reads the result back in the test. A missing
# tool stops the configuration with the package to install;
# -DPLIMBAR_BUILD_HELP=OFF builds without the help file.
include_guard(GLOBAL)

option(PLIMBAR_BUILD_HELP "Compile the help file Plimbar.chm (needs chmcmd from fp-utils)" ON)

set(PLIMBAR_HELP_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/../resources/help")
get_filename_component(PLIMBAR_HELP_SOURCE_DIR "${PLIMBAR_HELP_SOURCE_DIR}" ABSOLUTE)
set(PLIMBAR_HELP_CHECK_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/../tests/package/check_release.py")
get_filename_component(PLIMBAR_HELP_CHECK_SCRIPT "${PLIMBAR_HELP_CHECK_SCRIPT}" ABSOLUTE)
set(PLIMBAR_HELP_RC "${CMAKE_CURRENT_LIST_DIR}/../resources/plimbar.rc")
get_filename_component(PLIMBAR_HELP_RC "${PLIMBAR_HELP_RC}" ABSOLUTE)

# Python 3 runs on the build machine, also in the cross build.
macro(_plimbar_help_need_python)
  if(NOT Python3_EXECUTABLE)
    find_package(Python3 COMPONENTS Interpreter QUIET)
  endif()
  if(NOT Python3_EXECUTABLE)
    message(FATAL_ERROR
      "Python 3 not found; it is needed to build the help file Plimbar.chm. "
      "Install the Debian package python3, or configure with -DPLIMBAR_BUILD_HELP=OFF.")
  endif()
endmacro()

function(plimbar_add_help_test chm)
  _plimbar_help_need_python()
  find_program(PLIMBAR_EXTRACT_CHMLIB extract_chmLib)
  if(NOT PLIMBAR_EXTRACT_CHMLIB)
    message(FATAL_ERROR
      "extract_chmLib not found; the test of the help file Plimbar.chm needs it. "
      "Install the Debian package libchm-bin, or configure with "
      "-DPLIMBAR_BUILD_TESTS=OFF or -DPLIMBAR_BUILD_HELP=OFF.")
  endif()
  add_test(NAME help_chm
    COMMAND ${Python3_EXECUTABLE} ${PLIMBAR_HELP_CHECK_SCRIPT} help
      --chm ${chm}
      --extract ${PLIMBAR_EXTRACT_CHMLIB}
      --rc ${PLIMBAR_HELP_RC}
      --version ${PROJECT_VERSION}
      --work ${CMAKE_CURRENT_BINARY_DIR}/help-check)
  set_tests_properties(help_chm PROPERTIES LABELS help TIMEOUT 120)
endfunction()

# A macro, so that enable_testing() below acts on the caller's directory
# (inside a function it has no effect); the work is done by the function.
macro(plimbar_add_help target_dir)
  _plimbar_add_help(${target_dir} ${ARGN})
  if(PLIMBAR_BUILD_HELP AND PLIMBAR_BUILD_TESTS)
    # The caller's directory may be configured before the top level turns
    # testing on; without this its tests would be dropped.
    enable_testing()
    plimbar_add_help_test(${target_dir}/Plimbar.chm)
  endif()
endmacro()

function(_plimbar_add_help target_dir)
  cmake_parse_arguments(H "" "TARGET" "" ${ARGN})
  if(NOT PLIMBAR_BUILD_HELP)
    return()
  endif()
  find_program(PLIMBAR_CHMCMD chmcmd)
  if(NOT PLIMBAR_CHMCMD)
    message(FATAL_ERROR
      "chmcmd not found; it compiles the help file Plimbar.chm. "
      "Install the Debian package fp-utils, or configure with -DPLIMBAR_BUILD_HELP=OFF.")
  endif()
  _plimbar_help_need_python()

  set(src ${PLIMBAR_HELP_SOURCE_DIR})
  set(chm ${target_dir}/Plimbar.chm)
  file(GLOB inputs CONFIGURE_DEPENDS
    ${src}/*.htm ${src}/*.html ${src}/*.hhp ${src}/*.hhc ${src}/*.hhk
    ${src}/*.css ${src}/*.png ${src}/*.gif ${src}/*.jpg)
  add_custom_command(OUTPUT ${chm}
    COMMAND ${Python3_EXECUTABLE} ${src}/build_chm.py
      --source ${src}
      --work ${CMAKE_CURRENT_BINARY_DIR}/help-work
      --output ${chm}
      --chmcmd ${PLIMBAR_CHMCMD}
      --version ${PROJECT_VERSION}
    DEPENDS ${inputs} ${src}/build_chm.py ${CMAKE_BINARY_DIR}/generated/plimbar_version.h
    COMMENT "Compiling the help file Plimbar.chm"
    VERBATIM)
  add_custom_target(plimbar_help ALL DEPENDS ${chm})
  if(H_TARGET)
    add_dependencies(${H_TARGET} plimbar_help)
  endif()
endfunction()

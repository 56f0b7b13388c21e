# The help viewer: the stand-in for the platform's HTML Help call and the help window that reads
# compiled help files with chmlib (Debian package libchm-dev). Included by the Qt program's
# CMakeLists, which links varden_qt_help into its own library.

find_path(VARDEN_CHM_INCLUDE_DIR chm_lib.h)
find_library(VARDEN_CHM_LIBRARY chm)
if(NOT VARDEN_CHM_INCLUDE_DIR OR NOT VARDEN_CHM_LIBRARY)
  message(FATAL_ERROR "chmlib not found: install libchm-dev")
endif()
if(NOT TARGET Qt6::Widgets)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
endif()

add_library(varden_qt_help STATIC
  ${CMAKE_CURRENT_LIST_DIR}/html_help.cpp
  ${CMAKE_CURRENT_LIST_DIR}/help_window.cpp
)
cmake_path(SET varden_help_root NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/../..")
target_include_directories(varden_qt_help PUBLIC ${varden_help_root})
target_include_directories(varden_qt_help SYSTEM PRIVATE ${VARDEN_CHM_INCLUDE_DIR})
target_link_libraries(varden_qt_help PUBLIC Qt6::Widgets PRIVATE varden_ui ${VARDEN_CHM_LIBRARY})
# The last of the folders where a help file is looked for: Varden's installed data folder.
target_compile_definitions(varden_qt_help
  PRIVATE VARDEN_DATA_DIR="${CMAKE_INSTALL_FULL_DATADIR}/varden")

# The help viewer's test program, on Qt's offscreen platform over the help files of this build.
# Called from the tests' CMakeLists (where testing is enabled), after this file was included.
function(varden_add_help_test)
  if(NOT TARGET varden_qt_help OR NOT TARGET varden_help)
    message(STATUS "help viewer or help files not built: no help test")
    return()
  endif()
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(help_test ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../tests/qt/help_test.cpp)
  target_link_libraries(help_test PRIVATE varden_qt_help Qt6::Test GTest::gtest)
  target_compile_definitions(help_test PRIVATE VARDEN_HELP_FILES_DIR="${CMAKE_BINARY_DIR}/bin")
  add_dependencies(help_test varden_help)
  gtest_discover_tests(help_test DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

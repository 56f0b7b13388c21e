# varden_manual_page(SOURCE): installs the manual page SOURCE (section 1) with @PROJECT_VERSION@
# in its title line replaced by the project's version.
function(varden_manual_page source)
  get_filename_component(name ${source} NAME)
  set(page ${CMAKE_BINARY_DIR}/man/${name})
  configure_file(${source} ${page} @ONLY)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

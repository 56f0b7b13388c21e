# Installs Varden's icon into the hicolor icon theme, its desktop entries and its AppStream
# metainfo (Linux desktops).
if(NOT WIN32)
  set(varden_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  set(varden_resources ${CMAKE_CURRENT_LIST_DIR})
  install(FILES ${varden_resources}/varden.svg DESTINATION ${varden_icons}/scalable/apps)
  install(FILES ${varden_resources}/varden.png DESTINATION ${varden_icons}/256x256/apps)
  install(FILES ${varden_resources}/varden-32.png DESTINATION ${varden_icons}/32x32/apps
          RENAME varden.png)
  install(FILES ${varden_resources}/varden-16.png DESTINATION ${varden_icons}/16x16/apps
          RENAME varden.png)
  install(FILES ${varden_resources}/varden.desktop ${varden_resources}/varden-demo.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(varden_metainfo ${CMAKE_BINARY_DIR}/io.varden.varden.metainfo.xml)
  configure_file(${varden_resources}/io.varden.varden.metainfo.xml.in ${varden_metainfo} @ONLY)
  install(FILES ${varden_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

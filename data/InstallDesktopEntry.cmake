# Run by `cmake --install`: writes Tolvi's desktop entry naming the installed program, so the
# applications menu starts it whether or not the prefix's bin folder is on the PATH.
set(tolvi_app "${CMAKE_INSTALL_PREFIX}/bin/Tolvi")
# Inside the entry's quoted Exec argument these four would need escaping of their own.
if(tolvi_app MATCHES "[\"`$\\\\]")
  message(FATAL_ERROR "The install prefix ${CMAKE_INSTALL_PREFIX} holds a character a desktop entry cannot name (\" ` $ \\)")
endif()
set(TOLVI_INSTALLED_APP "${tolvi_app}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/tolvi.desktop.in" "${TOLVI_DESKTOP_ENTRY_WORK_DIR}/tolvi.desktop" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${TOLVI_DESKTOP_ENTRY_WORK_DIR}/tolvi.desktop")

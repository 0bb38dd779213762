# Installation layout of the agent, its tools, manual pages, service files and example
# configuration. Honours CMAKE_INSTALL_PREFIX (also `cmake --install --prefix`) and DESTDIR.
#
# Components: agent (the daemon and its directories), tools (noxctl, noxcard),
# doc (manual pages, example configuration), service (systemd unit or rc.d script).

# Documentation goes to share/doc/noxguard, not to the project name's capitalised spelling.
if(NOT DEFINED CMAKE_INSTALL_DOCDIR)
  set(CMAKE_INSTALL_DOCDIR "share/doc/noxguard" CACHE PATH "documentation root (share/doc/noxguard)")
endif()
include(GNUInstallDirs)

if(CMAKE_SYSTEM_NAME STREQUAL "FreeBSD")
  set(_nox_unit_dir "")
  set(_nox_rc_dir "${CMAKE_INSTALL_SYSCONFDIR}/rc.d")
else()
  set(_nox_unit_dir "lib/systemd/system")
  set(_nox_rc_dir "")
endif()
set(NOX_SYSTEMD_UNIT_DIR "${_nox_unit_dir}" CACHE STRING
    "where the systemd unit goes (relative to the prefix or absolute); empty: not installed")
set(NOX_RCD_DIR "${_nox_rc_dir}" CACHE STRING
    "where the FreeBSD rc.d script goes (relative to the prefix or absolute); empty: only a copy in the doc directory")

install(TARGETS noxguard RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT agent)
foreach(_tool noxctl noxcard)
  if(TARGET ${_tool})
    install(TARGETS ${_tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()

# Two directories sit at fixed absolute paths because the agent and its service files name
# them as such, whatever the prefix: the control socket is created as /opt/nox/nox.ipc
# (the agent gives up silently when /opt/nox is missing), and the service files start the
# agent in /var/lib/noxguard, where it keeps its configuration and event log. They are
# installed from empty staging directories so that DESTDIR applies to them like to any
# other file; the state directory is closed to other users, since the configuration it
# holds carries the control password.
set(_nox_stage ${CMAKE_BINARY_DIR}/install-stage)
file(MAKE_DIRECTORY ${_nox_stage}/opt/nox ${_nox_stage}/state/noxguard)
install(DIRECTORY ${_nox_stage}/opt/nox DESTINATION /opt COMPONENT agent
        DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                              GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(DIRECTORY ${_nox_stage}/state/noxguard DESTINATION /var/lib COMPONENT agent
        DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)

install(FILES ${CMAKE_SOURCE_DIR}/man/noxcard.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT doc)
install(FILES ${CMAKE_SOURCE_DIR}/man/noxguard.conf.5 DESTINATION ${CMAKE_INSTALL_MANDIR}/man5 COMPONENT doc)
install(FILES ${CMAKE_SOURCE_DIR}/man/noxguard.8 ${CMAKE_SOURCE_DIR}/man/noxctl.8
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT doc)
install(FILES ${CMAKE_SOURCE_DIR}/share/Noxguard.conf.example DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)

# The service files name the agent by its full path. The prefix may still change at install
# time (`cmake --install --prefix`), so they are configured when the install runs, from the
# prefix in force then, into the build tree, and installed from there.
function(nox_install_configured template dest_dir dest_name perms)
  get_filename_component(_out_name ${template} NAME)
  string(REGEX REPLACE "\\.in$" "" _out_name ${_out_name})
  set(_out ${CMAKE_BINARY_DIR}/dist/${_out_name})
  install(CODE "
    if(IS_ABSOLUTE \"${CMAKE_INSTALL_SBINDIR}\")
      set(NOX_SBINDIR \"${CMAKE_INSTALL_SBINDIR}\")
    else()
      set(NOX_SBINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}\")
    endif()
    configure_file(\"${template}\" \"${_out}\" @ONLY)
  " COMPONENT service)
  install(FILES ${_out} DESTINATION ${dest_dir} RENAME ${dest_name} PERMISSIONS ${perms} COMPONENT service)
endfunction()

set(_nox_script_perms OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(_nox_file_perms OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(NOX_SYSTEMD_UNIT_DIR)
  nox_install_configured(${CMAKE_SOURCE_DIR}/dist/noxguard.service.in ${NOX_SYSTEMD_UNIT_DIR}
                         noxguard.service "${_nox_file_perms}")
endif()
if(NOX_RCD_DIR)
  nox_install_configured(${CMAKE_SOURCE_DIR}/dist/noxguard.rc.in ${NOX_RCD_DIR} noxguard "${_nox_script_perms}")
else()
  # Kept for reference (and for porting to a BSD host) where rc.d is not the init system.
  nox_install_configured(${CMAKE_SOURCE_DIR}/dist/noxguard.rc.in ${CMAKE_INSTALL_DOCDIR} noxguard.rc
                         "${_nox_file_perms}")
endif()

# Drivers of the "Asio" technology are shared libraries found through registry files
# (src/platform/asio_registry.h describes the format and where they are read from).
include(GNUInstallDirs)

# valvo_register_asio_driver(TARGET <module> CLSID "{...}" DESCRIPTION "<name shown>")
# Writes the driver's registry file into the build tree's share/valvorama-live/drivers.d, where
# programs run from the build tree look, and installs the library into
# <libdir>/valvorama-live with a registry file naming it there, for the installed programs.
function(valvo_register_asio_driver)
  cmake_parse_arguments(ARG "" "TARGET;CLSID;DESCRIPTION" "" ${ARGN})
  if(NOT TARGET "${ARG_TARGET}" OR NOT ARG_DESCRIPTION)
    message(FATAL_ERROR "valvo_register_asio_driver: TARGET <module> and DESCRIPTION are needed")
  endif()
  string(LENGTH "${ARG_CLSID}" length)
  if(NOT length EQUAL 38 OR NOT ARG_CLSID MATCHES "^{[0-9A-Fa-f-]+}$")
    message(FATAL_ERROR "valvo_register_asio_driver: CLSID \"${ARG_CLSID}\" is not {8-4-4-4-12}")
  endif()

  set(entry "[software\\asio\\${ARG_TARGET}]\ndescription = ${ARG_DESCRIPTION}\n")
  string(APPEND entry "clsid = ${ARG_CLSID}\n\n[clsid\\${ARG_CLSID}\\InprocServer32]\n@ = ")
  set(folder share/valvorama-live/drivers.d)
  # Written when the build is generated; the driver list skips it until the library is built.
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/${folder}/${ARG_TARGET}.reg
       CONTENT "${entry}$<TARGET_FILE:${ARG_TARGET}>\n")

  set(installed ${CMAKE_BINARY_DIR}/installed-drivers/${ARG_TARGET}.reg)
  file(GENERATE OUTPUT ${installed}
       CONTENT "${entry}${CMAKE_INSTALL_FULL_LIBDIR}/valvorama-live/$<TARGET_FILE_NAME:${ARG_TARGET}>\n")
  install(TARGETS ${ARG_TARGET} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/valvorama-live)
  install(FILES ${installed} DESTINATION ${CMAKE_INSTALL_DATADIR}/valvorama-live/drivers.d)
endfunction()

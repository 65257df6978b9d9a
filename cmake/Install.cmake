# `make install` (cmake --install): the installed layout the programs find their files in.
#   bin/                          valvorama, valvorama-live
#   libexec/valvorama-live/       valvorama-extra, which valvorama runs for its hardware commands
#   share/valvorama-live/         the resource file (the engine looks in bin/../share/... and,
#                                 for the plug-in, lib/vst/../../share/...); drivers.d
#   lib/vst/                      the VST2 plug-in, where Linux hosts look
# The JACK driver and its registry entry install with the driver (cmake/Drivers.cmake).
install(TARGETS valvorama valvorama-live RUNTIME DESTINATION bin)
install(TARGETS valvorama-extra RUNTIME DESTINATION libexec/valvorama-live)
install(FILES ${VALVORAMA_LIVE_RESOURCE_FILE} DESTINATION share/valvorama-live)
install(TARGETS valvorama-live-vst LIBRARY DESTINATION lib/vst)

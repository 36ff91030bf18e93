# The game platform library's CMake package: GamePlatform::platform (the services, with the
# memory operators compiled into the game), GamePlatform::diagnostics, GamePlatform::memory
# and GamePlatform::stringtable, each an imported DLL with its import library.
include(${CMAKE_CURRENT_LIST_DIR}/GamePlatformTargets.cmake)

# Shared part of the MinGW-w64 cross-builds; the including toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and ZAN_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZAN_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${ZAN_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${ZAN_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ZAN_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ZAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything links statically: the programs run without any MinGW runtime DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

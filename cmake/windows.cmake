# The Windows program ZanDriverInstaller.exe: application object, progress
# window and resources over the installer core and the Win32 platform.
enable_language(RC)

# The only DLLs the program imports are kernel32, user32, gdi32 and advapi32
# (and the C runtime); setupapi, newdev, comctl32 and shell32 are loaded at run
# time from the system directory (platform/win32/system_dll.cpp).
set(CMAKE_CXX_STANDARD_LIBRARIES "-lkernel32 -luser32 -lgdi32 -ladvapi32")

add_executable(ZanDriverInstaller WIN32
  ui/win_main.cpp
  ui/framework.cpp
  ui/installer_app.cpp
  ui/progress_dlg.cpp
  res/ZanDriverInstaller.rc
)
target_include_directories(ZanDriverInstaller PRIVATE ${CMAKE_SOURCE_DIR}/res)
target_link_libraries(ZanDriverInstaller PRIVATE zan_ui_logic zan_run zan_core zan_platform)
# Self-contained: no MinGW runtime DLL beside it (the toolchain files give the
# same flags to every link; kept here so that no toolchain can lose them).
target_link_options(ZanDriverInstaller PRIVATE -static -static-libgcc -static-libstdc++
  $<$<CONFIG:Release>:-s>)
set_target_properties(ZanDriverInstaller PROPERTIES
  OUTPUT_NAME ZanDriverInstaller
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
)

# The PE time stamp is the build date of tools/source-date.sh (the last
# commit's time), not the time of the link: GNU ld writes SOURCE_DATE_EPOCH
# when it is set, so the link runs with it. A new date changes the link
# command, and the program is linked again.
execute_process(COMMAND ${CMAKE_SOURCE_DIR}/tools/source-date.sh
  OUTPUT_VARIABLE ZAN_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set_property(TARGET ZanDriverInstaller PROPERTY
  RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZAN_SOURCE_DATE}")

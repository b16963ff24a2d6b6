# The Windows target's tools: the robot and the screenshot showcase, the platform benchmarks and
# the minimal remover the removal benchmark compares with.
# The robot's window code, shared by the end-to-end tests and the standalone robot.
add_library(test_robot STATIC ${CMAKE_SOURCE_DIR}/tests/support/robot.cpp)
target_include_directories(test_robot PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(test_robot PUBLIC user32 kernel32)

# The in-process robot thread and UI session, for the tools that show the uninstaller's windows.
add_library(test_ui STATIC ${CMAKE_SOURCE_DIR}/tests/support/ui_robot.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/ui_session.cpp ${CMAKE_SOURCE_DIR}/tests/support/test_run.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/block_file.cpp)
target_include_directories(test_ui PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(test_ui PUBLIC uninst_core format_writer test_robot)

# The tools: the robot, the screenshot showcase and the desktop keep-alive.
file(GLOB TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.cpp)
foreach(tool ${TOOL_SOURCES})
  get_filename_component(name ${tool} NAME_WE)
  if(name IN_LIST TEST_HELPER_PROGRAMS)
    continue()
  endif()
  add_executable(${name} ${tool} ${RESOURCE_SCRIPTS})
  target_link_libraries(${name} PRIVATE test_robot test_ui)
  add_dependencies(${name} uninst_icon)
endforeach()

# Benchmarks that need the platform: each bench/*_winbench.cpp becomes a Windows program.
file(GLOB WIN_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*_winbench.cpp)
foreach(bench ${WIN_BENCH_SOURCES})
  get_filename_component(name ${bench} NAME_WE)
  add_executable(${name} ${bench} ${TEST_SUPPORT} ${RESOURCE_SCRIPTS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE uninst_core format_writer)
  add_dependencies(${name} uninst_icon)
endforeach()

# The minimal remover the removal benchmark sets beside the uninstaller: started like it (its own
# entry point, no C runtime, the same manifest, imports and preloaded libraries).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MINIMAL_ENTRY _MinimalEntry)
else()
  set(MINIMAL_ENTRY MinimalEntry)
endif()
add_executable(removal_minimal WIN32 ${CMAKE_SOURCE_DIR}/bench/tools/removal_minimal.cpp
  ${SRC}/driver/crt_win.cpp ${RESOURCE_SCRIPTS})
target_link_libraries(removal_minimal PRIVATE uninst_core product_flags gcc)
target_link_options(removal_minimal PRIVATE ${STUB_LINK_FLAGS} -nostartfiles -nodefaultlibs -Wl,-e,${MINIMAL_ENTRY} -s
  -Wl,--gc-sections -Wl,--dynamicbase,--enable-reloc-section,--nxcompat)
add_dependencies(removal_minimal uninst_icon)
target_link_libraries(removal_winbench PRIVATE psapi)
add_dependencies(removal_winbench removal_minimal uninst)

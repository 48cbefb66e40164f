# velomat_windows_resources(<target> <description>): gives a Windows program its icon and version
# information. Does nothing on other systems.
function(velomat_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  set(VELOMAT_ICON "${PROJECT_SOURCE_DIR}/data/icons/velomat.ico")
  set(VELOMAT_DESCRIPTION "${description}")
  set(VELOMAT_PROGRAM "${target}")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/data/windows/program.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()

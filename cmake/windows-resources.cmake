# Windows: every shipped program and DLL gets a version resource (the
# version is the project's, from CMakeLists.txt: the one source of it), and
# the two programs a manifest. Included once every target exists.
if(NOT WIN32)
  return()
endif()
enable_language(RC)

math(EXPR _zubeto_minor "${PROJECT_VERSION_MINOR} + 0")
set(ZUBETO_RC_NUMBERS "${PROJECT_VERSION_MAJOR},${_zubeto_minor},0,0")
set(ZUBETO_RC_DOTTED "${PROJECT_VERSION_MAJOR}.${_zubeto_minor}.0.0")
set(_zubeto_rc_dir ${CMAKE_BINARY_DIR}/windows-resources)

# target: the CMake target; file: its file name; description: what
# Explorer shows as the file's description.
function(zubeto_windows_resources target file description)
  if(NOT TARGET ${target})
    return()
  endif()
  get_filename_component(ZUBETO_RC_STEM ${file} NAME_WE)
  set(ZUBETO_RC_FILE ${file})
  set(ZUBETO_RC_DESCRIPTION ${description})
  set(ZUBETO_RC_MANIFEST "")
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    set(ZUBETO_RC_FILETYPE VFT_APP)
    # The manifest of the program, resource type 24 (RT_MANIFEST), id 1:
    # the one the system reads when it starts the program.
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/${ZUBETO_RC_STEM}.manifest.in
      ${_zubeto_rc_dir}/${ZUBETO_RC_STEM}.manifest @ONLY)
    set(ZUBETO_RC_MANIFEST "1 24 \"${_zubeto_rc_dir}/${ZUBETO_RC_STEM}.manifest\"")
  else()
    set(ZUBETO_RC_FILETYPE VFT_DLL)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${_zubeto_rc_dir}/${ZUBETO_RC_STEM}.rc @ONLY)
  target_sources(${target} PRIVATE ${_zubeto_rc_dir}/${ZUBETO_RC_STEM}.rc)
  if(ZUBETO_RC_MANIFEST)
    set_source_files_properties(${_zubeto_rc_dir}/${ZUBETO_RC_STEM}.rc TARGET_DIRECTORY ${target} PROPERTIES
      OBJECT_DEPENDS ${_zubeto_rc_dir}/${ZUBETO_RC_STEM}.manifest)
  endif()
endfunction()

zubeto_windows_resources(ZUBETOC ZUBETOC.exe "Zubeto backup worker")
zubeto_windows_resources(ZUBETOB ZUBETOB.exe "Zubeto settings window")
zubeto_windows_resources(zubeto_sharecheck ZUBETO.dll "Zubeto share check library")
zubeto_windows_resources(unlha32 UNLHA32.DLL "Zubeto LZH archiver library")
zubeto_windows_resources(zip32j ZIP32J.DLL "Zubeto ZIP archiver library")
zubeto_windows_resources(cab32 CAB32.DLL "Zubeto CAB archiver library")
zubeto_windows_resources(tar32 TAR32.DLL "Zubeto TAR archiver library")

# SPDX-License-Identifier: GPL-3.0-or-later
# The folder libraries form one line, each linking and including only what
# stands before it:
#   common <- imaging <- metadata <- shell <- operations <- app <- ui <- pages <- Kestrel
# kestrel_check_layers() fails the configuration when a library links a
# library at its own level or above, or when a file of a folder includes a
# header of a folder above it; a cycle is always one of the two.

# Library, then the source folders it is built from (relative to the top).
set(KESTREL_LAYERS
  "kestrel_common:common"
  "kestrel_imaging:imaging"
  "kestrel_metadata:metadata"
  "kestrel_shell:shell"
  "kestrel_operations:pages/core"
  "kestrel_app:app"
  "kestrel_ui:ui"
  "kestrel_pages:pages"
  "Kestrel:app/main"
  # The file-manager module: a top deliverable beside the program, built on
  # common, imaging and metadata only.
  "KestrelShellModule:shell/module")

# The level of the folder a header path ("pages/core/x.h") belongs to, or -1.
# The longest matching folder wins, so "pages/core" is not taken for "pages".
function(_kestrel_folder_level header out)
  set(_best -1)
  set(_best_len 0)
  set(_level 0)
  foreach(_entry ${KESTREL_LAYERS})
    string(REPLACE ":" ";" _parts ${_entry})
    list(GET _parts 1 _folder)
    string(LENGTH "${_folder}/" _len)
    string(SUBSTRING "${header}" 0 ${_len} _head)
    if(_head STREQUAL "${_folder}/" AND _len GREATER _best_len)
      # Files directly in the folder only: "app/x.h", not "app/main/x.h".
      string(SUBSTRING "${header}" ${_len} -1 _rest)
      if(NOT _rest MATCHES "/")
        set(_best ${_level})
        set(_best_len ${_len})
      endif()
    endif()
    math(EXPR _level "${_level} + 1")
  endforeach()
  set(${out} ${_best} PARENT_SCOPE)
endfunction()

function(kestrel_check_layers)
  set(_level 0)
  set(_names)
  foreach(_entry ${KESTREL_LAYERS})
    string(REPLACE ":" ";" _parts ${_entry})
    list(GET _parts 0 _name)
    list(APPEND _names ${_name})
  endforeach()
  foreach(_entry ${KESTREL_LAYERS})
    string(REPLACE ":" ";" _parts ${_entry})
    list(GET _parts 0 _name)
    list(GET _parts 1 _folder)
    if(NOT TARGET ${_name})
      message(FATAL_ERROR "Kestrel layers: ${_name} is not a target")
    endif()
    # Links.
    get_target_property(_links ${_name} LINK_LIBRARIES)
    get_target_property(_ilinks ${_name} INTERFACE_LINK_LIBRARIES)
    foreach(_dep ${_links} ${_ilinks})
      list(FIND _names "${_dep}" _dep_level)
      if(_dep_level GREATER_EQUAL ${_level})
        message(FATAL_ERROR "Kestrel layers: ${_name} links ${_dep}, which stands at its level or above it")
      endif()
    endforeach()
    # Includes.
    file(GLOB _files ${CMAKE_SOURCE_DIR}/${_folder}/*.cpp ${CMAKE_SOURCE_DIR}/${_folder}/*.h)
    foreach(_file ${_files})
      file(STRINGS ${_file} _includes REGEX "^#include \"[a-z/_]+\\.h\"")
      foreach(_line ${_includes})
        string(REGEX REPLACE "^#include \"([a-z/_]+\\.h)\".*" "\\1" _header "${_line}")
        _kestrel_folder_level(${_header} _header_level)
        if(_header_level GREATER ${_level})
          file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${_file})
          message(FATAL_ERROR "Kestrel layers: ${_rel} includes ${_header}, from a folder above its own")
        endif()
      endforeach()
    endforeach()
    math(EXPR _level "${_level} + 1")
  endforeach()
endfunction()

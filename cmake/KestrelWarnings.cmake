# SPDX-License-Identifier: GPL-3.0-or-later
# kestrel_warnings(target): the project's warning set, fatal when KESTREL_WERROR is on.
function(kestrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KESTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# kestrel_sources(var dir): the C++ sources of one folder. Each folder's target
# takes all of its own sources so that adding a file needs no CMake edit.
function(kestrel_sources var dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  set(${var} ${_srcs} PARENT_SCOPE)
endfunction()

# The library's headers are included as <quorvane/PART/NAME.h>, in its own
# sources as by the programs that use it, so that no header of a program can
# stand in for one of ours. Installed, they lie in include/quorvane/. In the
# build tree each is reached through a one-line header that includes the
# source file by its whole path: edits need no copy, and a header added is
# found at the next build (CONFIGURE_DEPENDS).
function(qv_forwarding_headers include_dir)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
       ${PROJECT_SOURCE_DIR}/core/*.h ${PROJECT_SOURCE_DIR}/registry/*.h
       ${PROJECT_SOURCE_DIR}/fileworks/*.h ${PROJECT_SOURCE_DIR}/settings/*.h
       ${PROJECT_SOURCE_DIR}/platform/*.h)
  foreach(header ${headers})
    file(CONFIGURE OUTPUT ${include_dir}/quorvane/${header}
         CONTENT "#pragma once\n#include \"${PROJECT_SOURCE_DIR}/${header}\"\n" @ONLY)
  endforeach()
endfunction()

# Read by cpack before it builds the Debian package. The executable carries the engine libraries and
# writes them out at start, so dpkg-shlibdeps, which CPack runs on the packaged files alone, never
# sees what they link (ALSA). Here the engine libraries and the executable are looked at together;
# what that adds to the executable's own list goes into Depends beside it.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

file(GLOB engine_libraries "${CPACK_GS_ENGINE_DIR}/*.so")
set(work "${CPACK_GS_WORK_DIR}/engine_depends")
# dpkg-shlibdeps wants a source package's control file in its working folder.
file(MAKE_DIRECTORY "${work}/debian")
file(TOUCH "${work}/debian/control")

function(shlibs_depends out)
  execute_process(COMMAND dpkg-shlibdeps -O --ignore-missing-info "-l${CPACK_GS_ENGINE_DIR}" ${ARGN}
                  WORKING_DIRECTORY "${work}" OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "dpkg-shlibdeps failed on ${ARGN}: ${errors}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" text "${text}")
  string(STRIP "${text}" text)
  string(REPLACE ", " ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

shlibs_depends(own "${CPACK_GS_EXECUTABLE}")
shlibs_depends(together "${CPACK_GS_EXECUTABLE}" ${engine_libraries})
list(REMOVE_ITEM together ${own})
list(JOIN together ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

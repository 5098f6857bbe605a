# Read by cpack as it starts: adds the shared libraries the launcher and its HTTP module need,
# with their versions, to the package's Depends, as dpkg-shlibdeps works them out.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()
include(${CPACK_CORVANE_BINARIES_FILE})
set(options)
foreach(binary IN LISTS corvane_binaries)
    list(APPEND options -e${binary})
endforeach()
# dpkg-shlibdeps wants a debian/control in the folder it runs in, even an empty one.
set(work ${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/shlibdeps)
file(WRITE ${work}/debian/control "")
execute_process(COMMAND dpkg-shlibdeps -O ${options}
                WORKING_DIRECTORY ${work}
                OUTPUT_VARIABLE substitution
                ERROR_VARIABLE messages
                RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT substitution MATCHES "^shlibs:Depends=([^\n]+)")
    message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${messages}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${CMAKE_MATCH_1}")

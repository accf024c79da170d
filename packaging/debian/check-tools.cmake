# Read by cpack before it builds a package: a Debian package needs dpkg-shlibdeps (package
# dpkg-dev) and file to work out its library dependencies.
if(CPACK_GENERATOR STREQUAL "DEB")
    foreach(tool dpkg-shlibdeps file)
        find_program(PIVOTTA_${tool}_EXECUTABLE ${tool})
        if(NOT PIVOTTA_${tool}_EXECUTABLE)
            message(FATAL_ERROR "${tool} is missing: install the packages dpkg-dev and file.")
        endif()
    endforeach()
endif()

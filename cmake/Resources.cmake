# The build tree mirrors the installed layout: bin/tolvane beside share/tolvane/, which holds
# the generated Info.json and links to everything in resources/.
set(TOLVANE_BUILD_SHARE ${CMAKE_BINARY_DIR}/share/tolvane)
file(MAKE_DIRECTORY ${TOLVANE_BUILD_SHARE})
configure_file(${CMAKE_SOURCE_DIR}/cmake/Info.json.in ${TOLVANE_BUILD_SHARE}/Info.json @ONLY)
file(GLOB resource_entries RELATIVE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_SOURCE_DIR}/resources/*)
foreach(entry ${resource_entries})
    if(NOT EXISTS ${TOLVANE_BUILD_SHARE}/${entry})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/resources/${entry} ${TOLVANE_BUILD_SHARE}/${entry} SYMBOLIC)
    endif()
endforeach()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION share/tolvane)
install(FILES ${TOLVANE_BUILD_SHARE}/Info.json DESTINATION share/tolvane)

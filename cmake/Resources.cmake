# The build tree mirrors the installed layout: bin/tolvane beside share/tolvane/, which holds
# the generated Info.json and links to everything in resources/.
set(TOLVANE_BUILD_SHARE ${CMAKE_BINARY_DIR}/share/tolvane)
file(MAKE_DIRECTORY ${TOLVANE_BUILD_SHARE})

# Optional service and update keys: absent from Info.json unless given at configure time.
set(TOLVANE_SERVICE_URL "" CACHE STRING "Base address of the cloud service (TolvaneServiceURL)")
set(TOLVANE_FEED_URL "" CACHE STRING "Update feed address (SUFeedURL)")
set(TOLVANE_UPDATE_KEY "" CACHE STRING "Base64 ed25519 public key of the update feed (SUPublicEDKey)")
set(info "{\n    \"CFBundleShortVersionString\": \"${PROJECT_VERSION}\"")
foreach(pair "TolvaneServiceURL=TOLVANE_SERVICE_URL" "SUFeedURL=TOLVANE_FEED_URL" "SUPublicEDKey=TOLVANE_UPDATE_KEY")
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 key)
    list(GET pair 1 variable)
    if(NOT "${${variable}}" STREQUAL "")
        string(APPEND info ",\n    \"${key}\": \"${${variable}}\"")
    endif()
endforeach()
string(APPEND info "\n}\n")
file(CONFIGURE OUTPUT ${TOLVANE_BUILD_SHARE}/Info.json CONTENT "${info}")

file(GLOB resource_entries RELATIVE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_SOURCE_DIR}/resources/*)
foreach(entry ${resource_entries})
    if(NOT EXISTS ${TOLVANE_BUILD_SHARE}/${entry})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/resources/${entry} ${TOLVANE_BUILD_SHARE}/${entry} SYMBOLIC)
    endif()
endforeach()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION share/tolvane)
install(FILES ${TOLVANE_BUILD_SHARE}/Info.json DESTINATION share/tolvane)

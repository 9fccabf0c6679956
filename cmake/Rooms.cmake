# SPDX-License-Identifier: GPL-3.0-or-later
# Each folder of src/ is a room: a library whose headers are included by the folder's name
# ("core/log/DayFile.h"). A room's users get on their include path a tree of the build that
# holds only that room (build/rooms/ROOM/ROOM -> src/ROOM), so a header of a room a library
# does not link is not found, and its include names where the header lives.
function(nocturo_room target room)
    set(tree ${PROJECT_BINARY_DIR}/rooms/${room})
    if(NOT EXISTS ${tree}/${room})
        file(MAKE_DIRECTORY ${tree})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${room} ${tree}/${room} SYMBOLIC)
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL INTERFACE_LIBRARY)
        target_include_directories(${target} INTERFACE ${tree})
    else()
        target_include_directories(${target} PUBLIC ${tree})
    endif()
endfunction()

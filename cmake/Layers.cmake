# The layers, lowest first: platform, proxy, settings, tester, switching/download/syscheck/judge, app, ui. Each
# folder builds one static library that links only the layers below it (those on one level link
# none of each other). The widget pieces both programs' windows share (widgets/) link only the platform
# layer, and so do Quillet's libraries (its window also those pieces) and the extension's bridge.
# scripts/check-layers.py checks the includes; the link checks below check the calls.
#
# A static library is not linked until a program uses it, and then only the members that program needs,
# so a call into a layer the library does not link could go unnoticed. Each library is therefore also
# linked whole into a program that has nothing else: such a call is an undefined symbol there, and the
# build stops.

# Every layer without a window, lowest first (the fuzz targets compile these again with coverage).
set(ORV_CORE_LAYERS orvloopback orvplatform orvproxy orvsettings orvtester orvswitching orvdownload orvsyscheck
                    orvjudge orvapp)

file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/layer-check/main.cpp CONTENT "int main() { return 0; }\n")

# orv_layer_library(<name> <source>...): the library and its link check; the caller adds what it links.
function(orv_layer_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC orv_warnings)

    add_executable(${name}_linkcheck ${CMAKE_BINARY_DIR}/layer-check/main.cpp)
    target_link_libraries(${name}_linkcheck PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}>")
    set_target_properties(${name}_linkcheck PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layer-check)
endfunction()

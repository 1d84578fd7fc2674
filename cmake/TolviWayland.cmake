# Wayland client protocols, generated at build time by wayland-scanner from the description files
# under Tolvi/platform/wayland/protocols.
#
# tolvi_wayland_protocol(<target> <xml>)
#   Generates "<name>-client-protocol.h" and its marshalling code from <xml> (relative to the
#   current source folder or absolute), adds the code to <target> and puts the header folder on its
#   public include path. Adding a protocol is one description file and one call.

find_package(Threads REQUIRED)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET GLOBAL wayland-client)

function(tolvi_wayland_protocol target xml)
  get_filename_component(xml_path "${xml}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(name "${xml_path}" NAME_WE)
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols")
  set(header "${out_dir}/${name}-client-protocol.h")
  set(code "${out_dir}/${name}-protocol.c")
  add_custom_command(
    OUTPUT "${header}" "${code}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${out_dir}"
    COMMAND ${WAYLAND_SCANNER} client-header "${xml_path}" "${header}"
    COMMAND ${WAYLAND_SCANNER} private-code "${xml_path}" "${code}"
    DEPENDS "${xml_path}"
    COMMENT "Generating Wayland protocol ${name}"
    VERBATIM)
  target_sources(${target} PRIVATE "${header}" "${code}")
  target_include_directories(${target} PUBLIC "${out_dir}")
endfunction()

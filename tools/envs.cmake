# Phonetic environments of our own, compiled from data/env/*.def into env/<name>.env of the
# build folder, for the tests and the sample profile.
file(GLOB WORDHAUL_ENV_DEFINITIONS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/env/*.def)
set(WORDHAUL_ENV_DIR ${CMAKE_BINARY_DIR}/env)
set(WORDHAUL_ENV_FILES)
# A cross-built clamtool runs under Wine, which sees the host's root as drive Z:.
set(host_root "")
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(host_root "Z:")
endif()
foreach(definition ${WORDHAUL_ENV_DEFINITIONS})
  get_filename_component(name ${definition} NAME_WE)
  set(output ${WORDHAUL_ENV_DIR}/${name}.env)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${WORDHAUL_ENV_DIR}
    COMMAND clamtool mkenv ${host_root}${definition} ${host_root}${output}
    DEPENDS clamtool ${definition}
    COMMENT "Compiling phonetic environment ${name}"
    VERBATIM)
  list(APPEND WORDHAUL_ENV_FILES ${output})
endforeach()
add_custom_target(wordhaul_envs ALL DEPENDS ${WORDHAUL_ENV_FILES})

# The coding benchmark loads the compiled environments.
if(TARGET wordhaul_bench)
  add_dependencies(wordhaul_bench wordhaul_envs)
  target_compile_definitions(wordhaul_bench PRIVATE WORDHAUL_ENV_DIR="${WORDHAUL_ENV_DIR}")
endif()

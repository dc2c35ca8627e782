# End-to-end scenarios: run the built tool against temporary prefixes. Their clam
# dictionaries are made and read with clamtool, with the environments the build compiled.
file(GLOB E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*.cpp)
# Holds a file as another program would; built for each system.
add_executable(file_holder ${CMAKE_CURRENT_SOURCE_DIR}/holder/file_holder.cpp)
if(E2E_SOURCES AND NOT CMAKE_CROSSCOMPILING)
  add_executable(e2e_tests ${E2E_SOURCES})
  target_include_directories(e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(e2e_tests PRIVATE
    WORDHAUL_WINE_SERVER_SCRIPT="${CMAKE_SOURCE_DIR}/cmake/wine-server.sh")
  target_link_libraries(e2e_tests PRIVATE GTest::gtest_main)
  add_dependencies(e2e_tests wordhaul clamtool wordhaul_envs file_holder)
  add_test(NAME e2e_tests COMMAND e2e_tests --gtest_brief=1)
  set_tests_properties(e2e_tests PROPERTIES ENVIRONMENT
    "WORDHAUL_TOOL=$<TARGET_FILE:wordhaul>;WORDHAUL_FILE_HOLDER=$<TARGET_FILE:file_holder>;WORDHAUL_CLAMTOOL=$<TARGET_FILE:clamtool>;WORDHAUL_ENV_DIR=${CMAKE_BINARY_DIR}/env")
endif()

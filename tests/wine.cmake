# Under a cross build every test runs under Wine (the toolchain's emulator), in a prefix
# of this build folder. One persistent Wine server serves the whole test run: a fixture
# starts it before the first test and ends it after the last, also when tests fail.
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

set(WORDHAUL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
add_test(NAME wine_server_start
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-server.sh start ${WORDHAUL_WINEPREFIX})
add_test(NAME wine_server_stop
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-server.sh stop ${WORDHAUL_WINEPREFIX})
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine_server TIMEOUT 120)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_server TIMEOUT 60)

# The end-to-end scenarios run the native build's scenario program, which runs every
# scenario with the native tool and with this build's wordhaul.exe under Wine (in a prefix
# of its own, made once) and holds both to the same outcomes. It needs the native build.
set(WORDHAUL_NATIVE_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/native CACHE PATH
  "Native build whose end-to-end test program and tool the Windows build is compared with")
set(WORDHAUL_E2E_WINEPREFIX ${CMAKE_BINARY_DIR}/e2e-wineprefix)
add_test(NAME e2e_tests_wine
  COMMAND ${WORDHAUL_NATIVE_BUILD_DIR}/tests/e2e_tests --gtest_brief=1)
set_tests_properties(e2e_tests_wine PROPERTIES TIMEOUT 900 ENVIRONMENT
  "WORDHAUL_TOOL=${WORDHAUL_NATIVE_BUILD_DIR}/wordhaul;WORDHAUL_WINE_TOOL=$<TARGET_FILE:wordhaul>;WORDHAUL_FILE_HOLDER=${WORDHAUL_NATIVE_BUILD_DIR}/tests/file_holder;WORDHAUL_WINE_FILE_HOLDER=$<TARGET_FILE:file_holder>;WORDHAUL_E2E_WINEPREFIX=${WORDHAUL_E2E_WINEPREFIX};WORDHAUL_CLAMTOOL=${WORDHAUL_NATIVE_BUILD_DIR}/tools/clamtool;WORDHAUL_ENV_DIR=${WORDHAUL_NATIVE_BUILD_DIR}/env")
# Should the scenario program be stopped, its Wine server still ends with the test run.
add_test(NAME wine_e2e_server_stop
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-server.sh stop ${WORDHAUL_E2E_WINEPREFIX})
set_tests_properties(wine_e2e_server_stop PROPERTIES FIXTURES_CLEANUP wine_server TIMEOUT 60)

# Runs once every test of this folder is known (other .cmake parts may add some later).
function(wordhaul_tests_need_wine_server)
  get_property(tests DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY TESTS)
  list(REMOVE_ITEM tests wine_server_start wine_server_stop wine_e2e_server_stop)
  foreach(test ${tests})
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine_server)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      "WORDHAUL_WINEPREFIX=${WORDHAUL_WINEPREFIX}")
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} CALL wordhaul_tests_need_wine_server)

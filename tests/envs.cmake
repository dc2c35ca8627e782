# Tests that read the compiled environments or run clamtool need them built first.
foreach(suite clam_coding_tests clam_store_tests tools_tests)
  if(TARGET ${suite})
    add_dependencies(${suite} wordhaul_envs clamtool)
  endif()
endforeach()

# Where the test support finds data/env when the tests run outside ctest.
target_compile_definitions(wordhaul_test_support PRIVATE
  WORDHAUL_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

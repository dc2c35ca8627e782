# The character tables are generated; regenerating them must give the committed file.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(_generated ${CMAKE_BINARY_DIR}/regenerated/char_tables_data.cpp)
  add_test(NAME clam_tables_regenerate
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gen/gen_char_tables.py
            --output ${_generated})
  set_tests_properties(clam_tables_regenerate PROPERTIES FIXTURES_SETUP clam_tables_regenerated)
  add_test(NAME clam_tables_up_to_date
    COMMAND ${CMAKE_COMMAND} -E compare_files --ignore-eol
            ${CMAKE_SOURCE_DIR}/src/clam/coding/char_tables_data.cpp ${_generated})
  set_tests_properties(clam_tables_up_to_date PROPERTIES FIXTURES_REQUIRED clam_tables_regenerated)
endif()

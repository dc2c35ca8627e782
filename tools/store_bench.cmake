# The store benchmark fills a dictionary under one of our compiled environments.
if(TARGET wordhaul_bench)
  target_compile_definitions(wordhaul_bench PRIVATE
    WORDHAUL_STORE_BENCH_ENV="${CMAKE_BINARY_DIR}/env/lang01.env")
endif()

# Read by CTest after the discovered tests of uninst_tests: a test whose suite name ends in
# "Serial" (TEST(SomethingSerial, ...), TEST_F, TEST_P alike) runs alone, with no other test at the
# same time. For the few tests that change what the whole Wine prefix shares.
foreach(test IN LISTS uninst_tests_TESTS)
  if(test MATCHES "Serial\\.")
    set_tests_properties("${test}" PROPERTIES RUN_SERIAL TRUE)
  endif()
endforeach()

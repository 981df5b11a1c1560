kiv_test(fix_record_test SANITIZE SOURCES fix_record_test.cpp LIBS kiv_position)

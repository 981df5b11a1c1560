# Find: positions typed as text, and the search's ranking of names.
kiv_test(coordinate_text_test SANITIZE SOURCES coordinate_text_test.cpp LIBS kiv_nav)

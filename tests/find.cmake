# Find: positions typed as text, and the search's ranking of names.
kiv_test(coordinate_text_test SANITIZE SOURCES coordinate_text_test.cpp LIBS kiv_nav)
kiv_test(find_places_test SANITIZE SOURCES find_places_test.cpp LIBS kiv_app)
kiv_test(place_search_test SANITIZE SOURCES place_search_test.cpp LIBS kiv_nav)

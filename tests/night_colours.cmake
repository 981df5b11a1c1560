# Night colours by the sun: civil twilight from the solar equations.
kiv_test(sun_times_test SOURCES sun_times_test.cpp LIBS kiv_nav)

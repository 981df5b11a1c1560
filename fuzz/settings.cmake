# The settings file readers (kiv_ini.txt, kiv_com.txt, kiv_pos.txt,
# kiv_dev.txt, kiv_prx.txt); the first byte of an input picks the file.
kiv_fuzzer(settings_fuzz SOURCES settings_fuzz.cpp LIBS kiv_settings kiv_net kiv_platform)

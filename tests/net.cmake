# Network layer: parsers (also in the sanitizer build) and loopback tests
# against real peers (python3 servers, curl).
find_program(KIV_PYTHON3 NAMES python3)
find_program(KIV_CURL NAMES curl)

function(kiv_net_peers target)
  if(TARGET ${target})
    target_compile_definitions(${target} PRIVATE
      KIV_PYTHON3="${KIV_PYTHON3}" KIV_CURL="${KIV_CURL}")
  endif()
endfunction()

kiv_test(net_parse_test SANITIZE SOURCES net_parse_test.cpp LIBS kiv_net)
kiv_net_peers(net_parse_test)

kiv_test(net_http_test SOURCES net_http_test.cpp LIBS kiv_net)
kiv_net_peers(net_http_test)

kiv_test(net_remote_test SOURCES net_remote_test.cpp LIBS kiv_app kiv_net)
kiv_net_peers(net_remote_test)

kiv_test(net_probe_test SOURCES net_probe_test.cpp LIBS kiv_net)
kiv_net_peers(net_probe_test)

kiv_test(net_base_test SOURCES net_base_test.cpp LIBS kiv_net)
kiv_net_peers(net_base_test)

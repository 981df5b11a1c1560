# HTTP client parsing (URLs, proxy lines) and the remote position server's
# request reading. The parser
# sources are compiled in so that libFuzzer sees their coverage.
set(kiv_http_fuzz_net
  ${CMAKE_SOURCE_DIR}/net/url.cpp ${CMAKE_SOURCE_DIR}/net/proxy.cpp
  ${CMAKE_SOURCE_DIR}/net/sockets.cpp)
kiv_fuzzer(http_url_fuzz SOURCES http_url_fuzz.cpp ${kiv_http_fuzz_net})
kiv_fuzzer(remote_request_fuzz SOURCES remote_request_fuzz.cpp ${CMAKE_SOURCE_DIR}/net/remote_request.cpp)

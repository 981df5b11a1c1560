// Loopback peers for the network tests: python3 servers (tests/net_peer.py,
// python's http.server) in child processes, and a private working directory
// per test so the proxy and probe files of parallel tests never meet.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

struct NetPeer {
    pid_t pid = -1;
    int port = 0;
};

inline bool net_have_python() { return access(KIV_PYTHON3, X_OK) == 0; }

// Runs python3 with args; the child's first output line names its port.
inline NetPeer net_peer_spawn(const std::vector<std::string>& args) {
    NetPeer peer;
    // Everything the child needs is made before the fork: only exec follows it.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(KIV_PYTHON3));
    argv.push_back(const_cast<char*>("-u"));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return peer;
    int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        if (quiet >= 0) dup2(quiet, 2);
        close(out[0]);
        close(out[1]);
        execv(KIV_PYTHON3, argv.data());
        _exit(127);
    }
    close(out[1]);
    if (quiet >= 0) close(quiet);
    peer.pid = pid;
    std::string line;
    pollfd p = {out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0) {
        char c[256];
        ssize_t n = read(out[0], c, sizeof c);
        if (n <= 0) break;
        line.append(c, static_cast<size_t>(n));
    }
    close(out[0]);
    size_t at = line.find("port ");
    peer.port = std::atoi(line.c_str() + (at == std::string::npos ? 0 : at + 5));
    return peer;
}

inline NetPeer net_peer_start(const std::vector<std::string>& args) {
    std::vector<std::string> all = {std::string(KIV_SOURCE_DIR) + "/tests/net_peer.py"};
    all.insert(all.end(), args.begin(), args.end());
    return net_peer_spawn(all);
}

// python's own web server over a folder.
inline NetPeer net_http_server_start(const std::string& folder) {
    return net_peer_spawn({"-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", folder});
}

// A TLS server over a folder, or relaying to an http:// upstream root; its
// certificate is signed by the test authority that tests/make_test_ca.sh
// makes in caFolder (ca.pem).
inline NetPeer net_tls_server_start(const std::string& caFolder, const std::string& folder,
                                    const std::string& upstream = "") {
    std::string make = "sh " + std::string(KIV_SOURCE_DIR) + "/tests/make_test_ca.sh " + caFolder;
    if (system(make.c_str()) != 0) return NetPeer{};
    std::vector<std::string> args = {std::string(KIV_SOURCE_DIR) + "/tests/tls_peer.py", caFolder + "/server.pem",
                                     caFolder + "/server.key", folder};
    if (!upstream.empty()) args.push_back(upstream);
    return net_peer_spawn(args);
}

inline void net_peer_stop(NetPeer& peer) {
    if (peer.pid > 0) {
        kill(peer.pid, SIGKILL);
        waitpid(peer.pid, nullptr, 0);
    }
    peer.pid = -1;
}

inline std::string net_read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void net_write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

inline bool net_file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Waits (bounded) for a file that another process writes.
inline bool net_wait_for_file(const std::string& path, int ms = 15000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (net_file_exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A fresh directory that is the working directory while it lives.
struct NetTempDir {
    std::string path;
    std::string previous;
    NetTempDir() {
        char cwd[4096];
        previous = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
        char pattern[] = "/tmp/kiv_net_XXXXXX";
        path = mkdtemp(pattern) ? pattern : "/tmp";
        if (chdir(path.c_str()) != 0) path.clear();
    }
    ~NetTempDir() {
        if (chdir(previous.c_str()) != 0) return;
        std::error_code ec;
        if (!path.empty() && path != "/tmp") std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

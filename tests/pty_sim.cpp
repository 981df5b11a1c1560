#include "tests/pty_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace {

long long ms_now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Reads what kivsim printed, waiting at most timeoutMs for more.
void sim_read(SimProcess* sim, int timeoutMs) {
    pollfd p = {sim->out, POLLIN, 0};
    if (sim->out < 0 || poll(&p, 1, timeoutMs) <= 0) return;
    char buf[4096];
    ssize_t n = read(sim->out, buf, sizeof buf);
    if (n <= 0) {
        close(sim->out);
        sim->out = -1;
        return;
    }
    sim->pending.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = sim->pending.find('\n')) != std::string::npos) {
        sim->lines.push_back(sim->pending.substr(0, nl));
        sim->pending.erase(0, nl + 1);
    }
}

}  // namespace

bool pty_open(TestPty* pty) {
    pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->master < 0 || grantpt(pty->master) || unlockpt(pty->master)) return false;
    char name[128];
    if (ptsname_r(pty->master, name, sizeof name)) return false;
    pty->path = name;
    pty->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->slave < 0) return false;
    termios t;
    tcgetattr(pty->slave, &t);
    cfmakeraw(&t);
    tcsetattr(pty->slave, TCSANOW, &t);
    fcntl(pty->master, F_SETFL, fcntl(pty->master, F_GETFL) | O_NONBLOCK);
    return true;
}

void pty_close_master(TestPty* pty) {
    if (pty->slave >= 0) close(pty->slave);
    if (pty->master >= 0) close(pty->master);
    pty->slave = pty->master = -1;
}

void pty_close(TestPty* pty) { pty_close_master(pty); }

std::string pty_read(TestPty* pty, size_t count, int timeoutMs) {
    std::string got;
    long long end = ms_now() + timeoutMs;
    while (got.size() < count) {
        long long left = end - ms_now();
        if (left <= 0) break;
        pollfd p = {pty->master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buf[4096];
        ssize_t n = read(pty->master, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

void pty_write(TestPty* pty, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(pty->master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p = {pty->master, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

bool sim_start(SimProcess* sim, const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC)) return false;
    std::vector<std::string> all = {KIVSIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    int r = posix_spawn(&sim->pid, KIVSIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    sim->out = fds[0];
    if (r != 0) {
        sim->pid = -1;
        return false;
    }
    long long end = ms_now() + 5000;
    while (sim->lines.empty() && sim->out >= 0 && ms_now() < end) sim_read(sim, 100);
    if (sim->lines.empty()) return false;
    sim->path = sim->lines.front();
    sim->lines.erase(sim->lines.begin());
    return true;
}

bool sim_wait_line(SimProcess* sim, const std::string& text, int timeoutMs) {
    long long end = ms_now() + timeoutMs;
    for (;;) {
        for (const auto& l : sim->lines)
            if (l.find(text) != std::string::npos) return true;
        long long left = end - ms_now();
        if (left <= 0 || sim->out < 0) return false;
        sim_read(sim, static_cast<int>(left < 50 ? left : 50));
    }
}

int sim_count_lines(SimProcess* sim, const std::string& text) {
    sim_read(sim, 0);
    int n = 0;
    for (const auto& l : sim->lines)
        if (l.find(text) != std::string::npos) n++;
    return n;
}

std::string sim_line_with(SimProcess* sim, const std::string& text) {
    for (const auto& l : sim->lines)
        if (l.find(text) != std::string::npos) return l;
    return "";
}

int sim_wait_exit(SimProcess* sim, int timeoutMs) {
    if (sim->pid < 0) return -1;
    long long end = ms_now() + timeoutMs;
    for (;;) {
        int status;
        pid_t r = waitpid(sim->pid, &status, WNOHANG);
        if (r == sim->pid) {
            sim->pid = -1;
            if (sim->out >= 0) {
                while (sim->out >= 0) sim_read(sim, 100);
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (ms_now() >= end) return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int sim_stop(SimProcess* sim) {
    if (sim->pid < 0) return -1;
    kill(sim->pid, SIGTERM);
    int status = sim_wait_exit(sim, 5000);
    if (status == -2) {
        kill(sim->pid, SIGKILL);
        status = sim_wait_exit(sim, 5000);
    }
    if (sim->out >= 0) close(sim->out);
    sim->out = -1;
    return status;
}

bool wait_until(const std::function<bool()>& cond, int timeoutMs) {
    long long end = ms_now() + timeoutMs;
    while (!cond()) {
        if (ms_now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

pid_t spawn_quiet(const std::vector<std::string>& args) {
    std::vector<std::string> all = args;
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int r = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return r == 0 ? pid : -1;
}

int stop_process(pid_t pid) {
    if (pid <= 0) return -1;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; i++) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

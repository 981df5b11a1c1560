#include "app/route_job.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "net/http_client.h"

extern char** environ;

namespace {

constexpr int kRouteDeadlineMs = 120000;

std::string point(double lat, double lon) {
    char text[64];
    snprintf(text, sizeof text, "%.6f,%.6f", lat, lon);
    return text;
}

// The router's reason without its name and the line's end.
std::string reason(std::string text) {
    if (text.rfind("kivroute: ", 0) == 0) text.erase(0, 10);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void runRouter(RouteJob* job, const RouteAsk& ask) {
    std::vector<std::string> args = {ask.program, "--points", "--profile", ask.profile};
    for (size_t i = 1; i + 1 < ask.lats.size(); i++) args.insert(args.end(), {"--via", point(ask.lats[i], ask.lons[i])});
    args.insert(args.end(), {"--", point(ask.lats.front(), ask.lons.front()), point(ask.lats.back(), ask.lons.back())});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        job->why = std::string("cannot start the router: ") + strerror(errno);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid = 0;
    int spawned;
    {
        std::lock_guard<std::mutex> hold(job->lock);
        spawned = job->cancel ? ECANCELED : posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        if (spawned == 0) job->pid = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        job->why = "cannot run the router " + ask.program + ": " + strerror(spawned) +
                   " (install kivroute, or name it in KIV_ROUTE)";
        return;
    }
    std::string text[2];
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    for (int open = 2; open > 0;) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buf[8192];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) text[i].append(buf, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard<std::mutex> hold(job->lock);
        job->pid = 0;                  // reaped: the number may be another's now
    }
    if (WIFSIGNALED(status)) {
        job->why = "the router (kivroute) ended on signal " + std::to_string(WTERMSIG(status)) + " (" +
                   strsignal(WTERMSIG(status)) + ") before it answered; the next request starts it again";
    } else if (WEXITSTATUS(status) == 0) {
        job->ok = 1;
        job->reply = std::move(text[0]);
    } else if (WEXITSTATUS(status) == 2) {
        job->why = "the router did not take the request: " + reason(text[1]);
    } else {
        job->why = reason(text[1]);
        if (job->why.empty()) job->why = "the router ended without an answer (status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
}

void askServer(RouteJob* job, const RouteAsk& ask) {
    std::string url = ask.url + "?from=" + point(ask.lats.front(), ask.lons.front()) +
                      "&to=" + point(ask.lats.back(), ask.lons.back()) + "&profile=" + ask.profile;
    for (size_t i = 1; i + 1 < ask.lats.size(); i++) url += "&via=" + point(ask.lats[i], ask.lons[i]);
    std::error_code ec;
    std::filesystem::path file = std::filesystem::temp_directory_path(ec) /
                                 ("kiv-route-" + std::to_string(getpid()) + "-" +
                                  std::to_string(reinterpret_cast<uintptr_t>(job)) + ".txt");
    HttpTransfer t;
    t.deadlineMs = kRouteDeadlineMs;
    t.cancel = &job->cancel;
    int sent = HttpTransferToFile(url.c_str(), nullptr, file.c_str(), &t);
    std::stringstream body;
    if (sent) body << std::ifstream(file).rdbuf();
    std::filesystem::remove(file, ec);
    if (!sent) job->why = "the map server did not answer the route request: " + std::string(t.error);
    else if (t.status == 200) job->ok = 1, job->reply = body.str();
    else job->why = "the map server: " + reason(body.str());
}

}  // namespace

std::string route_job_program() {
    if (const char* v = std::getenv("KIV_ROUTE"); v && *v) return v;
    std::error_code ec;
    std::filesystem::path beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "kivroute";
    if (!ec && access(beside.c_str(), X_OK) == 0) return beside.string();
    return "kivroute";
}

int route_job_local_server(const char* root) {
    const char* host = strstr(root, "://");
    host = host ? host + 3 : root;
    for (const char* local : {"127.", "localhost", "[::1]"})
        if (strncmp(host, local, strlen(local)) == 0) return 1;
    return !*host;
}

std::unique_ptr<RouteJob> route_job_start(RouteAsk ask) {
    auto job = std::make_unique<RouteJob>();
    RouteJob* j = job.get();
    job->worker = std::thread([j, ask = std::move(ask)] {
        if (ask.program.empty()) askServer(j, ask);
        else runRouter(j, ask);
        j->done = 1;
    });
    return job;
}

void route_job_end(std::unique_ptr<RouteJob>* job) {
    if (!*job) return;
    {
        std::lock_guard<std::mutex> hold((*job)->lock);
        (*job)->cancel = 1;
        if ((*job)->pid > 0) kill((*job)->pid, SIGKILL);
    }
    if ((*job)->worker.joinable()) (*job)->worker.join();
    job->reset();
}

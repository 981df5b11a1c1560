#include "app/route_job.h"

#include <fcntl.h>
#include <pthread.h>
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

// "" with server running program, or the reason it cannot.
std::string startServer(RouteServer* server, const std::string& program) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return std::string("cannot start the router: ") + strerror(errno);
    if (pipe2(out, O_CLOEXEC) != 0) {
        int e = errno;
        close(in[0]), close(in[1]);
        return std::string("cannot start the router: ") + strerror(e);
    }
    std::string serve = "--serve";
    std::string name = program;
    char* argv[] = {name.data(), serve.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        return "cannot run the router " + program + ": " + strerror(spawned) +
               " (install kivroute, or name it in KIV_ROUTE)";
    }
    *server = RouteServer{pid, in[1], out[0], program};
    return "";
}

void forget(RouteServer* server) {
    if (server->in >= 0) close(server->in);
    if (server->out >= 0) close(server->out);
    *server = RouteServer{};
}

// Writes to a router that may have ended: its SIGPIPE, held in this
// thread, is taken here rather than ending the window.
bool writeAll(int fd, const std::string& text) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    bool whole = true;
    for (size_t at = 0; at < text.size() && whole;) {
        ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) whole = false;
        else at += static_cast<size_t>(n);
    }
    if (!whole) {
        timespec now{};
        while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return whole;
}

// The request line: kivroute's own arguments, tab-separated.
std::string requestLine(const RouteAsk& ask) {
    std::string line = "--points\t--profile\t" + ask.profile;
    for (size_t i = 1; i + 1 < ask.lats.size(); i++) line += "\t--via\t" + point(ask.lats[i], ask.lons[i]);
    return line + "\t--\t" + point(ask.lats.front(), ask.lons.front()) + "\t" +
           point(ask.lats.back(), ask.lons.back()) + "\n";
}

// One answer of the router: a status line, lines, an empty line. In is
// written and out read only here while the job runs; killing the router
// ends the read.
void askRouter(RouteJob* job, const RouteAsk& ask, int in, int out) {
    std::string text;
    bool whole = writeAll(in, requestLine(ask));
    char buf[16384];
    size_t end = std::string::npos;    // of the answer: its empty line
    for (size_t seen = 0; whole && (end = text.find("\n\n", seen)) == std::string::npos;) {
        seen = text.empty() ? 0 : text.size() - 1;
        ssize_t n = read(out, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) whole = false;
        else text.append(buf, static_cast<size_t>(n));
    }
    if (!whole) {
        // Gone: reaped here, the only waiter for it while the job runs.
        int status = 0;
        while (waitpid(job->pid, &status, 0) < 0 && errno == EINTR) {
        }
        job->routerGone = 1;
        if (WIFSIGNALED(status))
            job->why = "the router (kivroute) ended on signal " + std::to_string(WTERMSIG(status)) + " (" +
                       strsignal(WTERMSIG(status)) + ") before it answered; the next request starts it again";
        else
            job->why = "the router (kivroute) ended without an answer (status " + std::to_string(WEXITSTATUS(status)) +
                       "); the next request starts it again";
        return;
    }
    size_t status = text.find('\n');
    std::string head = text.substr(0, status);
    if (head == "ok") {
        job->ok = 1;
        job->reply = text.substr(status + 1, end - status);
    } else if (head.rfind("usage\t", 0) == 0) {
        job->why = "the router did not take the request: " + reason(head.substr(6));
    } else if (head.rfind("no\t", 0) == 0) {
        job->why = reason(head.substr(3));
    } else {
        job->why = "the router answered an unreadable line: " + head;
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

std::unique_ptr<RouteJob> route_job_start(RouteAsk ask, RouteServer* server) {
    auto job = std::make_unique<RouteJob>();
    RouteJob* j = job.get();
    if (ask.program.empty()) {
        route_server_end(server);
        job->worker = std::thread([j, ask = std::move(ask)] {
            askServer(j, ask);
            j->done = 1;
        });
        return job;
    }
    if (server->pid && server->program != ask.program) route_server_end(server);
    if (!server->pid) {
        job->why = startServer(server, ask.program);
        if (!job->why.empty()) {
            job->done = 1;
            return job;
        }
    }
    job->pid = server->pid;
    job->worker = std::thread([j, ask = std::move(ask), in = server->in, out = server->out] {
        askRouter(j, ask, in, out);
        j->done = 1;
    });
    return job;
}

void route_job_end(std::unique_ptr<RouteJob>* job, RouteServer* server) {
    if (!*job) return;
    RouteJob* j = job->get();
    j->cancel = 1;
    // A router still at an older route would keep the next one waiting.
    const bool killed = j->pid && !j->done && server->pid == j->pid;
    if (killed) kill(j->pid, SIGKILL);
    if (j->worker.joinable()) j->worker.join();
    if (server->pid == j->pid && j->routerGone) forget(server);
    else if (server->pid == j->pid && killed) route_server_end(server);   // it answered before it ended
    job->reset();
}

void route_server_end(RouteServer* server) {
    if (!server->pid) return;
    kill(server->pid, SIGKILL);
    while (waitpid(server->pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    forget(server);
}

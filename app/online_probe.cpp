#include "app/online_probe.h"

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/commands_link.h"
#include "net/connectivity.h"
#include "net/sockets.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

namespace {

std::thread probe;
std::atomic<int> cancel{0};
// -1 running, 0 offline, 1 online; -2 when no probe is outstanding.
std::atomic<int> answer{-2};

}  // namespace

int online_probe_begin(const AppSettings* s) {
    if (answer.load() != -2) return 0;
    if (probe.joinable()) probe.join();
    char file[64], url[NET_NAME_SIZE];
    online_probe_file(file, sizeof file);
    probe_url(s, url, sizeof url);
    cancel = 0;
    answer = -1;
    probe = std::thread([u = std::string(url), f = std::string(file)] {
        int result = connectivity_probe_url(u.c_str(), f.c_str(), &cancel);
        answer = result == 1 ? 1 : 0;
        platform_invalidate(0);        // a paint and the timer come soon
    });
    return 1;
}

int online_probe_pending() { return answer.load() != -2; }

void online_probe_poll(AppSettings* s) {
    int a = answer.load();
    if (a < 0) return;
    if (probe.joinable()) probe.join();
    answer = -2;
    if (a == 1) connectivity_go_online(s);
    else platform_warn("No Internet connection");
}

void online_probe_stop() {
    // The transfer ends within a tenth of a second once cancelled and
    // removes its file itself.
    cancel = 1;
    if (probe.joinable()) probe.join();
    answer = -2;
    char file[64];
    online_probe_file(file, sizeof file);
    unlink(file);
}

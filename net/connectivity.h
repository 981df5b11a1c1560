// The connectivity probe: whether the program may go online and fetch
// missing map sheets. One probe thread, started at start-up and by the
// Online command (app/online_probe.h).
#pragma once
#include <atomic>

struct AppSettings;

// The map server root asked when no Probe= and no Server= line is set.
extern const char NET_DEFAULT_SERVER_URL[];
// Probe file, present only while a probe runs.
extern const char NET_PROBE_FILE[];

// The URL the probe asks: probeUrl; else the root ("/") of serverUrl; else
// the root of NET_DEFAULT_SERVER_URL. out holds size bytes.
void probe_url(const AppSettings* settings, char* out, int size);
// Deletes file, fetches url into it (small cap, short deadline; a reply
// past the cap counts as an answer), deletes it again. 1 when the server
// answered. cancel (may be null) ends the fetch early, as a failure.
int  connectivity_probe_url(const char* url, const char* file, const std::atomic<int>* cancel);
// connectivity_probe_url of probe_url into the probe file.
int  probe_connectivity(const AppSettings* settings);
// The probe thread's work on a copied URL and file name. Its result is
// kept for connectivity_probe_poll; it touches nothing else but asks for a
// paint, so that the timer comes soon.
int  connectivity_probe_thread(const char* url, const char* file);

// Starts the probe thread (main window creation; the Online command with a
// file of its own). Returns 1 when started, 0 while an earlier probe still
// runs.
int  connectivity_probe_start(const AppSettings* settings, const char* file = NET_PROBE_FILE);
// 1 while the probe thread has not answered.
int  connectivity_probe_running();
// Every timer tick, on the main thread: when the start-up probe has found
// the network, goes online once and returns 1; else 0.
int  connectivity_probe_poll(AppSettings* settings);
// Ends the probe thread: its transfer is cut short (within 0.1 s) and its
// file removed. Also done at exit.
void connectivity_probe_finish();
// -1 while running or never started, 0 offline, 1 online (tests).
int  connectivity_probe_result();

// online = 1 (the window sets its menus to match). Main thread.
void connectivity_go_online(AppSettings* settings);

// Far sides for the serial link tests: a bare pseudo-terminal the test
// drives itself, or the kivsim receiver simulator in a child process.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// A pseudo-terminal whose slave is held open here (raw), so that closing
// and reopening the slave from the link never hangs up the master.
struct TestPty {
    int master = -1;
    int slave = -1;
    std::string path;   // the slave, for the link to open
};
bool pty_open(TestPty* pty);
void pty_close_master(TestPty* pty);   // the far side goes away (unplug)
void pty_close(TestPty* pty);
// Reads from the master until count bytes came or timeoutMs passed.
std::string pty_read(TestPty* pty, size_t count, int timeoutMs);
void pty_write(TestPty* pty, const std::string& bytes);

// kivsim in a child process; its first output line is the device path.
struct SimProcess {
    pid_t pid = -1;
    int out = -1;                 // its standard output
    std::string path;
    std::string pending;          // output not yet split into lines
    std::vector<std::string> lines;
};
bool sim_start(SimProcess* sim, const std::vector<std::string>& args);
// Waits for an output line containing text (lines seen so far count too).
bool sim_wait_line(SimProcess* sim, const std::string& text, int timeoutMs);
int  sim_count_lines(SimProcess* sim, const std::string& text);   // reads what is there first
std::string sim_line_with(SimProcess* sim, const std::string& text);
int  sim_stop(SimProcess* sim);   // SIGTERM, wait; the exit status (-1 when killed)
int  sim_wait_exit(SimProcess* sim, int timeoutMs);   // exit status, -2 when still running

// Any other far side (socat): started with its output discarded, and
// stopped with SIGTERM. -1 when it cannot be started.
pid_t spawn_quiet(const std::vector<std::string>& argv);
int   stop_process(pid_t pid);

// Polls cond every few milliseconds; true as soon as it holds.
bool wait_until(const std::function<bool()>& cond, int timeoutMs);

// The serial link's pieces shared by its files: the link record, what all
// links of the process share, and the steps one file does for another
// (open/close and reference counting in serial_link.cpp, writes in
// serial_link_write.cpp, the reader in serial_link_reader.cpp, losing and
// finding the device again in serial_link_reconnect.cpp, the remote
// position server's hooks in serial_link_remote.cpp).
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "position/serial_link.h"
#include "position/serial_port.h"
#include "settings/app_settings.h"

// Above 19200 baud writes have no per-byte time-out; a peer that is gone
// must still not hold a writer (or a close waiting for it) forever.
constexpr int kUnboundedWriteCapMs = 2000;
// The reader waits this long at most for the main window to paint.
constexpr int kRepaintWaitMs = 500;
// How long serial_close waits for the reader to end.
constexpr auto kReaderStopWait = std::chrono::seconds(2);
// A device that went away is looked for again this often.
constexpr int kReopenEveryMs = 2000;
constexpr int kChunk = 80;

// Lifetime of the link state. The record is shared by the main thread (the
// AppSettings record points at it), the reader thread and any writer in
// progress; each holds a reference and the last one frees it. The reader
// touches AppSettings only under ownerLock and only while `settings` is set:
// a close that gives up waiting for the reader clears it, so the window
// record may be freed while a stuck reader still runs. The port descriptor
// of such a reader is replaced by /dev/null (dup2), which releases the
// device at once without the number being reused for another file.
struct SerialLink {
    std::atomic<int> refs{1};
    SerialPort port;                    // fd -1 while the device is away
    char path[SETTINGS_PATH_MAX] = {};  // what reopening after a loss opens
    SerialLine line{};                  // the line settings in force (portLock)
    int wakeFd = -1;                   // readable once the link is closing
    std::atomic<int> closing{0};
    std::atomic<int> lost{0};
    std::atomic<long> wakeups{0};
    int silentMs = 0;                  // silent this long counts as lost; 0 never
    std::atomic<int> silenced{0};      // lost by silence: back only when bytes come

    // What the window says about the link (serial_link_status).
    std::mutex noteLock;
    unsigned noteSeq = 0;
    char title[96] = {};
    char message[SETTINGS_PATH_MAX + 200] = {};
    int openError = 0;                 // a reopen failed so: message is the path

    std::mutex portLock;               // one write at a time; descriptor swaps
    int perByteMs = 0;                 // write time-out per byte, 0 = none
    int waitDsr = 0;                   // DTR/DSR handshake: hold output while DSR is down

    std::mutex ownerLock;
    AppSettings* settings = nullptr;   // null once the reader was let go

    std::mutex doneLock;
    std::condition_variable doneCv;
    bool done = false;
};

// What every link of the process shares (defined in serial_link.cpp).
struct SerialLinkShared {
    std::mutex registry;               // AppSettings::link and active
    SerialLink* active = nullptr;      // target of receiver_write
    SerialRemoteStart remoteStart = nullptr;
    SerialRemoteStop remoteStop = nullptr;
    std::atomic<SerialChunkObserver> chunkObserver{nullptr};
    std::atomic<int64_t> lastRepaintSecond{0};
    std::atomic<int> readersRunning{0};
    std::atomic<uint32_t> nextReaderId{0};
    // Numbers every link note, across links, so a new link never repeats one.
    std::atomic<unsigned> nextNote{0};
    // Why the last serial_open failed (main thread).
    int openFailure = 0;
    char openFailurePath[SETTINGS_PATH_MAX] = {};
};
extern SerialLinkShared serial_shared;

// serial_link.cpp
SerialLink* link_acquire(AppSettings* s);
SerialLink* active_acquire();
void link_release(SerialLink* l);
// serial_link_write.cpp
int link_write(SerialLink* l, const char* bytes, int count);
int hook_write(const char* bytes, int count, void*);
// serial_link_reconnect.cpp
void show_handle(SerialLink* l, int fd);
void set_note(SerialLink* l, int lost, const char* title, const char* message, int openError = 0);
void note_back(SerialLink* l);
void lose_device(SerialLink* l, int silent);
void note_gpsd(SerialLink* l);
int reopen_device(SerialLink* l);
// serial_link_remote.cpp
SerialRemoteStop remote_stop_hook();
int open_remote(AppSettings* s);

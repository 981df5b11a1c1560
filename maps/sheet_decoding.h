// Sheet files decoded on a worker thread, so that no frame waits for a GIF
// or JPEG decode. The main thread asks for the stored sheets its view
// lacks, in the order they are to come (nearest the vehicle first); a list
// asked replaces the one before, so a sheet the view moved away from is
// not decoded. The worker decodes each with sheet_cache_decode from the
// path and format it was given (nothing else of the caller's) and hands it
// back; whoever polls takes it into its cache. The worker only calls the
// wake function so that a poll comes soon.
#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "maps/sheet_cache.h"

struct SheetDecodeJob {
    std::string path;
    int format;                        // SHEET_GIF, SHEET_JPEG or SHEET_PNG
    bool wake;                         // its hand-back calls the wake function (one on show)
};

struct SheetDecoded {
    std::string path;
    std::shared_ptr<const DecodedSheet> sheet;   // null when the file does not decode
    std::string why;                   // why not
    std::string stamp;                 // the file as it was decoded (sheet_decoding_stamp)
};

struct SheetDecoding {
    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;                // started by the first ask
    bool stopping = false;
    bool busy = false;                 // current is being decoded
    bool currentDropped = false;       // its file changed meanwhile: the result goes
    SheetDecodeJob current;
    std::deque<SheetDecodeJob> waiting;
    std::vector<SheetDecoded> done;    // not taken yet
    void (*wake)() = nullptr;
    long decodes = 0;                  // files the worker decoded
    ~SheetDecoding();                  // stops the worker: it never outlives the record
};

// The file's identity, size and time of writing, "" when it is not there:
// a sheet written anew has another.
std::string sheet_decoding_stamp(const char* path);

// The sheets to decode, in order, in place of those still waiting; those
// being decoded or decoded already and not taken are not asked again. wake
// may be called from the worker thread.
void sheet_decoding_ask(SheetDecoding* d, const std::vector<SheetDecodeJob>& jobs, void (*wake)());
// Moves the sheets decoded since the last take into *out (appended); how many.
int  sheet_decoding_take(SheetDecoding* d, std::vector<SheetDecoded>* out);
// The file at path changed: its decode, waiting, under way or done, goes.
void sheet_decoding_drop(SheetDecoding* d, const char* path);
// Waits until nothing waits or is being decoded, at most timeoutMs: 1 then,
// 0 on the deadline. For tests and tools that run the worker to the end.
int  sheet_decoding_drain(SheetDecoding* d, int timeoutMs);
// Drops what waits and what is done, lets the decode under way end and
// joins the worker. The record may be asked again afterwards.
void sheet_decoding_stop(SheetDecoding* d);

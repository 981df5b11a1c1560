#include "position/receiver_io.h"

#include <mutex>

namespace {
std::mutex hook_lock;
ReceiverWriteHook hook = nullptr;
void* hook_context = nullptr;
}  // namespace

void receiver_set_write_hook(ReceiverWriteHook h, void* context) {
    std::lock_guard<std::mutex> g(hook_lock);
    hook = h;
    hook_context = context;
}

int receiver_write(const char* bytes, int count) {
    ReceiverWriteHook h;
    void* ctx;
    {
        std::lock_guard<std::mutex> g(hook_lock);
        h = hook;
        ctx = hook_context;
    }
    return h ? h(bytes, count, ctx) : 0;
}

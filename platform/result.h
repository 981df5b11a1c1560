// The outcome of anything that can fail for a reason the user should read:
// ok, or the reason as a sentence the window shows or a tool prints on
// stderr (as libcurl has one code and a text for it). Yes/no questions stay
// booleans; this is for "did it work, and if not, why not".
#pragma once
#include <string>
#include <utility>

struct Result {
    bool ok = true;
    std::string why;                   // empty when ok
    explicit operator bool() const { return ok; }
};

inline Result result_ok() { return Result{}; }
inline Result result_fail(std::string why) { return Result{false, std::move(why)}; }

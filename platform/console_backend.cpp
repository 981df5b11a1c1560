#include "platform/console_backend.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

const char* tool = "";

int printMessage(const char* text, const char*, int style) {
    fprintf(stderr, "%s: %s\n", tool, text ? text : "");
    return (style & PLATFORM_MB_YESNO) ? PLATFORM_ANSWER_NO : PLATFORM_ANSWER_OK;
}

PlatformBackend consoleBackend() {
    PlatformBackend b{};
    b.message_box = printMessage;
    return b;
}

const PlatformBackend console = consoleBackend();

}  // namespace

void platform_install_console(const char* program) {
    tool = program;
    platform_install(&console);
}

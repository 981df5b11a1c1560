// The program's dialogs, rendered from the records of app/.
#include "platform/platform.h"
#include "ui/wx/wx_window.h"

int wx_run_dialog(int /*kind*/, void* /*state*/) { return 1; }
void wx_show_monitor(void* /*state*/) {}
void wx_close_monitors() {}

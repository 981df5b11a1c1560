// The backend of the command-line tools: what the program would show in a
// message box goes to standard error as "<program>: <text>", so settings
// and sheet warnings reach the user of a tool too. Every other call stays a
// no-op; a yes/no question is answered no.
#pragma once

// program: the tool's name (kept, not copied).
void platform_install_console(const char* program);

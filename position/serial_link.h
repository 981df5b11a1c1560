// The serial link: opens the port of the settings, configures it, runs the
// reader thread that hands received bytes to the decoder of the selected
// device, writes commands to the receiver and closes the port again. For
// the REMOTE device the networking layer's hooks take the port's place.
// All operations run on the main thread except serial_write (any thread).
#pragma once

struct AppSettings;
struct SerialLink;

// Opens, configures, starts the reader, raises DTR and installs the
// receiver write hook; greys Connect and enables Disconnect. 1 on success,
// 0 on failure (port released, menu untouched). A network source is
// connected by the reader, and a device not there yet or held by another
// program is looked for by it, as after an unplug: all count as success
// (serial_open_failure still says EBUSY for a held port).
int serial_open(AppSettings* s);
// Applies the record's line settings to the open port; 0 when unsupported
// or refused (the previous settings stay in force) or when not connected.
int serial_configure(AppSettings* s);
// Stops the reader (returns after at most about 2 s even when the reader
// does not end), lowers DTR, closes the port; enables Connect and greys
// Disconnect. Always 1.
int serial_close(AppSettings* s);
// 1 when the write was accepted (even if cut short by its time-out), 0 when
// not connected or the write failed at once. One write runs at a time.
int serial_write(AppSettings* s, const char* bytes, int count);
// The reader thread's body; serial_open starts it with one reference to the
// link, which the thread gives back as it ends.
void serial_reader_thread(SerialLink* link);

// 1 while the device is away (unplugged, gpsd or the TCP peer gone): the
// reader looks for it again under the same name every few seconds and
// reading resumes by itself when it is back; Disconnect stops the search.
int serial_link_lost(AppSettings* s);
// What the window says about the link, from the reader: a short title note
// and a message for the monitor, both empty when all is well; lost as
// serial_link_lost. Returns a number that changes with every new note, 0
// without a link. Reasons: the device gone or not there yet, the peer silent
// for the record's linkSilentSeconds, gpsd's errors, gpsd without a receiver.
// A reopen that failed sets *openError to its errno (0 otherwise), message
// then holding the device's name for the window to word the advice.
unsigned serial_link_status(AppSettings* s, int* lost, char* title, int titleSize, char* message,
                            int messageSize, int* openError = nullptr);

// Why the last serial_open failed, or found the port busy: an errno value (EACCES, EBUSY, ENOENT,
// ECONNREFUSED, ...), one of the codes below, or 0; path gets the name it
// tried to open.
enum { SERIAL_OPEN_NOT_NMEA = -2, SERIAL_OPEN_LINE_REFUSED = -3 };
int serial_open_failure(char* path, int size);

// REMOTE has no port: the networking layer starts and stops its server.
// start returns 1 when the server thread runs; stop returns once it ended.
typedef int (*SerialRemoteStart)(AppSettings* s);
typedef void (*SerialRemoteStop)(AppSettings* s);
void serial_set_remote_hooks(SerialRemoteStart start, SerialRemoteStop stop);

// Tests and diagnostics: sees every chunk before the decoder does (reader
// thread); the number of times the reader woke up; readers still running.
typedef void (*SerialChunkObserver)(int deviceType, const char* bytes, int count);
void serial_set_chunk_observer(SerialChunkObserver observer);
long serial_reader_wakeups(AppSettings* s);
int  serial_readers_running();

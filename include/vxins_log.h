// The trace log: one line per message, appended to a fixed file, the plug-in's only diagnostic
// channel. The exported VXINS_LOG_TRACE serves callers from C; the plug-in's own code logs through
// the level helpers of src/log/log.h. The host entry points restart the log at the start of each
// call. Nothing here throws, and a log that cannot be written is dropped.
#ifndef VXINS_LOG_H
#define VXINS_LOG_H

#include <cstddef>

#define VXINS_EXPORT __attribute__((visibility("default")))

// Log levels; each has a fixed prefix row in gerr_log_str. The exported function takes them as
// int.
typedef enum { LOG_DEFAULT = 0, LOG_DEBUG = 1, LOG_INFO = 2, LOG_WARN = 3, LOG_ERROR = 4, LOG_CRITICAL = 5 } vxins_log_level_t;

enum { VXINS_LOG_ROW_WIDTH = 20, VXINS_LOG_ROWS = 7, VXINS_LOGFNAME_SIZE = 100 };

extern const char gerr_log_str[VXINS_LOG_ROWS][VXINS_LOG_ROW_WIDTH];
// Path of the trace file, "/var/log/libqrvlvxins.log" at load time.
extern char vxlogfname[VXINS_LOGFNAME_SIZE];

extern "C" {
// printf-style: msg is a format filled by the trailing arguments. A null msg writes nothing.
VXINS_EXPORT void VXINS_LOG_TRACE(int level, const char* msg, ...)
    __attribute__((format(printf, 2, 3)));
// Removes fname if it can be opened for reading; does nothing for a null or missing name.
VXINS_EXPORT void delete_file_if_exists(char* fname);
}

// Appends one line: the level's prefix, len bytes of text, a line feed. The plug-in's own code
// writes through the level helpers of log/log.h, which call this.
void vxins_log_write(int level, const char* text, size_t len);

// Deletes the trace file and writes the four-line banner with the start time. Called first by
// the discovery and flash entry points.
void vxins_log_restart();

// Points the trace log at another file (in-process unit tests only; the plug-in never calls
// it). Paths that do not fit vxlogfname are refused and false is returned.
bool vxins_log_set_path(const char* path);

#endif

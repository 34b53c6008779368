// The version shown in the banner, made from the build's date and time.
#ifndef KORVALEN_VERSION_TEXT_H
#define KORVALEN_VERSION_TEXT_H

// date_stamp as "Feb  7 2021", time_stamp as "13:54:18"; suffix may be
// null. Gives "21.02.07.13.54" and the suffix in a new block of 48 bytes
// that the caller keeps, or null when it cannot be allocated.
char* build_version_text(const char* date_stamp, const char* time_stamp, const char* suffix);

#endif

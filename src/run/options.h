// The command-line options: /Q, /S and /X (also written with "-"), one letter each, and /L=PATH.
#pragma once

#include <stdint.h>

struct RunModes {
    bool quiet;     // no confirmation, in-use check, progress dialog or closing message
    bool silent;    // /S: quiet, no closing document, no self-delete
    bool external;  // /X: quiet, no run-first program (unless /S too), no closing document, no self-delete
    // /L=PATH: the removal log's path, inside the scanned text and not terminated there; null (and
    // a length of 0) without one.
    const char* logPath;
    uint32_t logPathLength;
    // The first words the scan ignored (an unknown option, the word that ended the scan), each inside
    // the scanned text up to its next blank or quote; the log names them. `ignoredCount` goes on
    // counting past the ones kept.
    const char* ignored[4];
    uint32_t ignoredCount;
};

// Scans `text`, the command line after the program name (may be null), and sets the modes it
// names. Flags only ever become true. Only a space is a blank; double quotes around a whole option
// are skipped; a word that does not begin with "-" or "/" ends the scan. /L followed by "=" takes
// the rest of its word as the log's path (up to a blank or a tab), or the text up to the closing
// quote when one follows the "=" or the whole option was quoted ("/L=C:\a b.log"); a "-" or "/"
// inside the path sets nothing. The last /L=PATH counts; an empty path (/L= or /L="") gives no log.
// An option with another letter, and the word that ends the scan, change nothing and are noted in
// `ignored`.
void ScanOptions(const char* text, RunModes& modes);

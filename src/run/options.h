// The command-line options: /Q, /S and /X (also written with "-"), one letter each.
#pragma once

struct RunModes {
    bool quiet;     // no confirmation, in-use check, progress dialog or closing message
    bool silent;    // /S: quiet, no closing document, no self-delete
    bool external;  // /X: quiet, no run-first program (unless /S too), no closing document, no self-delete
};

// Scans `text`, the command line after the program name (may be null), and sets the modes it
// names. Flags only ever become true. Only a space is a blank; a word that does not begin with
// "-" or "/" ends the scan.
void ScanOptions(const char* text, RunModes& modes);

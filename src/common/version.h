// The product's version, raised with each release: the uninstaller writes it at the head of its
// removal log (removal/log_words.h), the packer shows it with --version. A macro so that the log's
// word table can hold it inside its one literal.
#pragma once

#define UNINST_VERSION "0.1.0"

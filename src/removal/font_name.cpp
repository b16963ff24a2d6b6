#include "removal/font_name.h"

// PLACEHOLDER body, filled in by the server and font work: no name is found yet.
void ReadFontFullName(const char*, char* name) { name[0] = '\0'; }

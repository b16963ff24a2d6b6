// The message table: every text the uninstaller shows is looked up here by its number.
#pragma once

#include <stdint.h>

#include "data/uninstall_data.h"
#include "format/layout.h"

inline constexpr uint32_t kMessageBufferSize = 1024;

// The text of `number` in table `table`, or the shared empty text; never null.
const char* GetMessageText(const UninstallData& data, int table, int number);

// Writes message `number` into `buffer` (kMessageBufferSize bytes). When the text holds "%s", each
// "%s" becomes `argument` and "%%" becomes "%"; any other "%" sequence stays as written, and no
// other argument is ever read. Otherwise the text is copied as it stands. The result is cut to
// fit the buffer: it is only ever shown.
void FormatMessageText(const UninstallData& data, char* buffer, int number, const char* argument);

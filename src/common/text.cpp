#include "common/text.h"

const char* FormatDecimal(uint32_t value, char (&digits)[kDecimalDigitsSize]) {
    char* p = digits + kDecimalDigitsSize - 1;
    *p = '\0';
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return p;
}

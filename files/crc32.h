#pragma once

#include <QtGlobal>

// CRC-32 as used by ZIP (reflected polynomial 0xEDB88320). Pass the previous
// result as crc to continue over several pieces; start with 0.
quint32 zipCrc32(const char *data, qsizetype size, quint32 crc = 0);

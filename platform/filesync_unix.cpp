#include "platform/filesync.h"

#include <unistd.h>

bool syncFileData(int fd)
{
    return fd >= 0 && ::fdatasync(fd) == 0;
}

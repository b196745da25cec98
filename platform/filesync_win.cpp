#include "platform/filesync.h"

#include <io.h>
#include <windows.h>

bool syncFileData(int fd)
{
    const intptr_t handle = fd >= 0 ? _get_osfhandle(fd) : -1;
    return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

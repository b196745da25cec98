#include "platform/systemcheck.h"

#include <QtGlobal>

bool systemInterfaceCheckPasses(int major, int minor, int build)
{
    Q_UNUSED(minor)
    constexpr int kMinMajor = 10;
    constexpr int kMinBuild = 16299;
    if (major < kMinMajor)
        return false;
    return major > kMinMajor || build >= kMinBuild;
}

#include "platform/platformlog.h"

#include <atomic>

namespace {

std::atomic<PlatformLogSink> &currentSink()
{
    static std::atomic<PlatformLogSink> sink{nullptr};
    return sink;
}

} // namespace

void setPlatformLogSink(PlatformLogSink sink)
{
    currentSink().store(sink);
}

void platformLog(const QString &category, const QString &message)
{
    if (const PlatformLogSink sink = currentSink().load())
        sink(category, message);
}

#pragma once

#include <QString>

// Platform code notes what went wrong on its way (a tool that hung, a write
// that failed) through this one hook, so it needs nothing from the layers
// above it; the diagnostic log plugs itself in when it starts.
using PlatformLogSink = void (*)(const QString &category, const QString &message);

void setPlatformLogSink(PlatformLogSink sink);
// Hands the line to the sink; dropped while none is set. Safe from any thread.
void platformLog(const QString &category, const QString &message);

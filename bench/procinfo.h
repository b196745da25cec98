#pragma once

#include <QtGlobal>

// Process figures for the measuring switches.
// Milliseconds since this process started (coarse: the clock-tick resolution
// of the system), or -1 when unknown.
qint64 processUptimeMs();
// Peak resident set size in MiB, or -1 when unknown.
double peakRssMb();
// Resident set size now in MiB, or -1 when unknown.
double currentRssMb();
// CPU time the calling thread has used, in ms (-1 when unknown): a frame's
// own cost on a machine shared with other work.
double threadCpuMs();
// CPU time of every thread of this process since it started, in ms (-1 when
// unknown): the figure that survives a machine busy with other work.
double processCpuMs();

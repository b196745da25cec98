#pragma once

// Puts the bytes written so far to the open file descriptor fd on the disk
// (its data, not necessarily its times). False when the system refuses.
bool syncFileData(int fd);

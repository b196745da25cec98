#pragma once

// The system-interface gate: Windows 10 version 1709 (build 16299) is the
// oldest system whose UI Automation offers what the interface uses.
bool systemInterfaceCheckPasses(int major, int minor, int build);

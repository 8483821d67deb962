#pragma once

#include <windows.h>

// Copies the whole content of one open file into another, from the start of each, and ends
// the target there. The handles need read and write access respectively; nothing is opened by
// name, so the copy reads and writes exactly the files the caller holds.
bool CopyFileData(HANDLE from, HANDLE to);

#pragma once

class FuncTrace;

// One message line through the caller's scope; "%S" takes a wide string.
void TraceMsg(FuncTrace& scope, const char* format, ...);

// One message line from a wide format ("%s" takes a wide string), converted with the thread's
// ANSI code page.
void TraceMsgW(FuncTrace& scope, const wchar_t* format, ...);

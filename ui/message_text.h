#pragma once

#include <windows.h>
#include <string>

// The text of a string-table entry of the program's own resources; empty when the id does not
// exist. Texts come whole, with their line feeds, and in the table's own language whatever the
// user's or the thread's language is.
std::wstring LoadMessageText(UINT16 id);

// The same lookup in the resources of the given module (a data-file module serves as well).
std::wstring LoadMessageTextFrom(HMODULE module, UINT16 id);

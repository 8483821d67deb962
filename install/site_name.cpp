#include "install/site_name.h"

#include "sys/path_text.h"

bool IsSafeSiteName(const std::wstring& name) { return IsPlainFileName(name); }

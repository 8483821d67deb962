#include "app/stamped_url.h"

// Writable and with external linkage, so that neither the compiler nor the linker may treat
// its content as known: the copy in the file is the one that counts. The separate literals
// keep the leading NUL from joining the marker's first digit into one escape.
wchar_t g_szStampedURL[kStampedURLUnits] =
    L"\0"
    L"20150611_{1AE5E6A6-F03B-424b-BC04-6570B78FA9A2}_{73918AC7-D49B-4336-A54C-E9F5B876E24B}";

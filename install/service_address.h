#pragma once

#include <string>

// Where the service answers: the host as the address page took it (a name or an address,
// never a scheme or port), the port, and whether it speaks https.
struct ServiceAddress {
    std::wstring host;
    int port = 80;
    bool https = false;
};

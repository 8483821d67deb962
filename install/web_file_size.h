#pragma once

// The size of a published file as the server announces it in its Content-Length, so that the
// progress bar can get its range; -1 on every failure. https is the address's scheme, which
// decides whether a certificate for another host name is accepted.
int GetWebFileSize(const wchar_t* url, bool https);

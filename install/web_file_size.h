#pragma once

// The size of a published file as the server announces it in its Content-Length, so that the
// progress bar can get its range; -1 on every failure. https is the page's scheme flag (1 for
// https), which decides whether a certificate for another host name is accepted.
int GetWebFileSize(const wchar_t* url, int https);

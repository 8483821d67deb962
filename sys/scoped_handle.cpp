#include "sys/scoped_handle.h"

#include "sys/lazy_api.h"

void InternetHandleTraits::Close(Handle h) { LazyApi::InternetCloseHandle(h); }

void NetApiBufferTraits::Close(Handle h) { LazyApi::NetApiBufferFree(h); }

#include "install/traced_file_access.h"

#include "log/func_trace.h"
#include "sys/file_access.h"

bool AddFileAccessAllowedRights(HANDLE folder) {
    FuncTrace scope("AddFileAccessAllowedRights");
    return GrantUsersHandleAccess(folder);
}

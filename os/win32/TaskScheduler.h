// Tasks in the task scheduler's root folder, registered and deleted over COM.
#pragma once

#include "os/Api.h"

namespace os {

// ITaskFolder::RegisterTask (create or update) of the root folder; `xml` is ANSI text.
HResult RegisterRootTask(const char* name, const char* xml, Long logonType);
// ITaskFolder::DeleteTask of the root folder.
HResult DeleteRootTask(const char* name);

}  // namespace os

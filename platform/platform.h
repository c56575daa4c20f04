// platform/: the small layer in place of the Windows services the program uses. One include for
// the whole surface; each header lists its procedures and the Linux choice behind each.
#pragma once

#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

#include "tools/common/ParentDeath.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

bool endWithParent()
{
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A parent that ended before the request took hold sends nothing.
    return ::getppid() == parent;
}

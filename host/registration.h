// RegisterXtra: checks that the host is the right product and version, then
// writes the script class's registry entries, the method table among them.
#pragma once

#include "contract/host_api.h"

// [host -> plug-in through the registration interface, host thread] The
// service and the registry are the host's, borrowed for the call; every value
// made for an entry is released before it returns. 0, or the host's code.
HostResult TESMAR_CALL RegisterXtraOp(InterfaceObject* self, HostRegistrationService* service,
                                      HostRegistry* registry);

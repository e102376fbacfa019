// RegisterXtra: checks that the host is the right product and version, then
// writes the script class's registry entries, the method table among them.
#pragma once

#include "contract/host_api.h"

HostResult TESMAR_CALL RegisterXtraOp(InterfaceObject* self, HostRegistrationService* service,
                                      HostRegistry* registry);

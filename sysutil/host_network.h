// The system's own host name, interface addresses and resolver, as a HostNetworkSource.
#pragma once

#include "sysutil/host_address.h"

const HostNetworkSource& SystemHostNetwork();

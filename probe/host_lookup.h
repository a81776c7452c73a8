// Whether a game computer's address names an IPv4 host, with the system's own words when it does not.
#pragma once

#include <cstddef>

// Resolves `address` for IPv4 only; an address that begins with a digit must be a dotted number.
// Returns 0 when it resolves, else the resolver's error code with its text in `errorText`.
int CheckIpv4Address(const char* address, char* errorText, std::size_t errorTextSize);

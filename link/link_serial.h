// Serial links: the operations the object layer calls on a connection of kind 0.
#ifndef TAVIK_LINK_LINK_SERIAL_H
#define TAVIK_LINK_LINK_SERIAL_H

#include "link/link.h"

// Records event 313, closes the record files and the port; the port close result, or 0 when none was open.
int LinkCloseSerial(LinkConnection* link);

#endif

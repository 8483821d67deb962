#pragma once

#include "install/publisher_pins.h"

// The publisher pins stamped into this program file after the address; none in a copy as
// built or stamped with an address alone. Neither the settings file nor anything else the
// user can change adds or removes one.
PublisherPins LoadStampedPins();

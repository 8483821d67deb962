#pragma once

#include "install/publisher_pins.h"
#include "install/service_address.h"

class InstallDisplay;

// How an installation step ended.
enum class StepOutcome {
    NoHost,  // the address has no host: nothing was tried
    Failed,  // the step gave up, or its program was not started and waited for
    Ran,     // the step's program was started and waited for
};

// The two installation steps, as functions of the service address, the publisher pins the
// programs they start must match (none: any whole program runs) and of what they show.

// Downloads the launcher-control installer into a folder of its own (up to five attempts),
// runs it ("/verysilent" when automatic), waits for it and deletes it. With a pin, a download
// that fails the publisher check is a failed attempt, and is never started.
StepOutcome InstallActiveX(const ServiceAddress& service, bool automatic, const PublisherPins& pins,
                           InstallDisplay& display);

// Reads the site name from the service descriptor, lays out the base and site folders,
// writes the host's registry values, downloads the update agent there and runs it. With a
// pin, an agent that fails the publisher check is neither placed nor started.
StepOutcome RunQLUpdate(const ServiceAddress& service, const PublisherPins& pins,
                        InstallDisplay& display);

#pragma once

#include <atomic>

#include "install/publisher_pins.h"

// How far the setup came, for the process's exit code.
enum SetupOutcome : int {
    // No installation step ran: the user ended the wizard before.
    SetupNotStarted = 0,
    // An installation ran and did not start and wait for both programs.
    SetupIncomplete = 1,
    // The launcher-control installer and the update agent were both started and waited for.
    SetupCompleted = 2,
};

// What the pages share with the installation worker: whether the run is unattended, whether
// an installation runs and how far it came (plain values, each with one writer at a time),
// and the publisher pins the programs it starts must match (set at start-up, before any page).
// The application object holds them and hands them to the pages it makes.
struct WizardState {
    PublisherPins m_publisherPins;
    std::atomic<int> m_bAutoSetup{0};
    std::atomic<int> m_bInstalling{0};
    std::atomic<int> m_nSetupOutcome{SetupNotStarted};
};

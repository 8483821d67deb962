#pragma once

#include <atomic>

// What the pages share with the installation worker: whether the run is unattended and
// whether an installation runs (plain values, each with one writer). The application object
// holds them; the pages reach it through TheWizardState(), which the application defines.
struct WizardState {
    std::atomic<int> m_bAutoSetup{0};
    std::atomic<int> m_bInstalling{0};
};

WizardState& TheWizardState();

#include "app/exit_code.h"

#include "ui/wizard_state.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitUserExit = 1602;        // ERROR_INSTALL_USEREXIT
constexpr int kExitInstallFailure = 1603;  // ERROR_INSTALL_FAILURE

}  // namespace

int SetupExitCode(int setupOutcome) {
    switch (setupOutcome) {
        case SetupCompleted:
            return kExitSuccess;
        case SetupNotStarted:
            return kExitUserExit;
        default:
            return kExitInstallFailure;
    }
}

#include "install/progress_scale.h"

unsigned long BarPosition(unsigned long long received, unsigned long long announced) {
    if (announced > kLargestBarPosition) {
        if (received >= announced) return kLargestBarPosition;
        // A double keeps the share exact enough for a bar of a few hundred pixels and cannot
        // overflow as the product of two 64-bit counts could.
        double share = static_cast<double>(received) / static_cast<double>(announced);
        return static_cast<unsigned long>(share * kLargestBarPosition);
    }
    return received > kLargestBarPosition ? kLargestBarPosition
                                          : static_cast<unsigned long>(received);
}

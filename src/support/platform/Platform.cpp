#include "support/platform/Platform.h"

#include <atomic>

namespace ostero::platform {

// The system's own platform, defined by the implementation CMake picks for this system.
TPlatform& SystemPlatform();

namespace {

std::atomic<TPlatform*> gReplacement{nullptr};

} // namespace

TPlatform& Platform() {
    TPlatform* replacement = gReplacement.load(std::memory_order_acquire);
    return replacement ? *replacement : SystemPlatform();
}

TPlatform* SetPlatform(TPlatform* platform) {
    return gReplacement.exchange(platform, std::memory_order_acq_rel);
}

} // namespace ostero::platform

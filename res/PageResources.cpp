#include "res/PageResources.h"

// The generated header declares C functions without a C++ guard.
extern "C" {
#include "notifier_res.h"
}

GResource* PageResources() {
    // Registered on first use rather than by a constructor, which a static library may drop.
    static GResource* const bundle = [] {
        notifier_res_register_resource();
        return notifier_res_get_resource();
    }();
    return bundle;
}

#pragma once

#include <memory>

#include <glib-object.h>

namespace platform {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Owns one reference to a GObject; a member's counterpart of g_autoptr.
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

}  // namespace platform

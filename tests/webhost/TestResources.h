#pragma once

#include <gio/gio.h>

// The tests' own resource bundle (tests/webhost/data), under this prefix.
inline constexpr const char* kTestResourcePrefix = "/test/res";

extern "C" {
GResource* webhost_test_res_get_resource(void);
void webhost_test_res_register_resource(void);
}

inline GResource* TestResources() {
    static GResource* const bundle = [] {
        webhost_test_res_register_resource();
        return webhost_test_res_get_resource();
    }();
    return bundle;
}
